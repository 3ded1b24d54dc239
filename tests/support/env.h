// An environment variable set (or unset, for a NULL value) for the life of
// the object, restored afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace qvtest {

class EnvVar {
public:
    EnvVar(const char *name, const char *value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar()
    {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    EnvVar(const EnvVar &) = delete;
    EnvVar &operator=(const EnvVar &) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace qvtest
