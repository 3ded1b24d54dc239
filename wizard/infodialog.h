// What the name/organisation and the reseller dialogs have in common: rows
// of captions beside fields, the confirmation box that repeats the values,
// and the information file behind the fields.
#pragma once

#include <X11/Intrinsic.h>

#include <initializer_list>

#include "wizard/dialog.h"

namespace qv {

// One row: a caption label and, beside it, the widget that holds the value
// (stored in *value).
struct InfoRow {
    const char *captionName;
    const char *caption;
    const char *valueName;
    Widget *value;
};

// An entry dialog: its shell `shellName` at `where` titled `title` (full
// application modal), its box `boxName` with "OK" and "Exit Setup", and in
// form `formName` the label `labelName` with `text` above the rows, each
// row a caption beside a 30-column text field.
struct EntrySpec {
    const char *shellName;
    Geometry where;
    const char *title;
    const char *boxName;
    const char *formName;
    const char *labelName;
    const char *text;
    XtCallbackProc mapCB, okCB, exitCB;
};
Widget create_entry_box(Widget parent, const EntrySpec &opts, std::initializer_list<InfoRow> rows);

// The confirmation box over an entry dialog: its shell `shellName`, box
// `boxName` (full application modal, "OK" and "Change"), the request to
// check the values in label `labelName`, then the rows, each a caption
// beside a label, in a frame.
struct ConfirmSpec {
    const char *shellName;
    const char *boxName;
    const char *labelName;
    XtCallbackProc mapCB, okCB, changeCB;
};
Widget create_confirm_box(Widget parent, const ConfirmSpec &opts, std::initializer_list<InfoRow> rows);

// Opens the confirmation box built by `create` over the entry dialog of
// w, showing the values of the entry fields in the given labels (in order).
void show_confirmation(Widget w, Widget (*create)(Widget parent), std::initializer_list<Widget> fields,
                       std::initializer_list<Widget *> labels);

// Fills the fields, in order, from the lines of the information file;
// leaves them as they are when the file cannot be read.
void load_info_fields(const char *file, std::initializer_list<Widget> fields);

// Stores the texts of the fields, in order, in the information file; a
// file that cannot be written is skipped.
void store_info_fields(const char *file, std::initializer_list<Widget> fields);

// "Exit Setup" on an entry dialog.
void confirm_exit_from(Widget w);

} // namespace qv
