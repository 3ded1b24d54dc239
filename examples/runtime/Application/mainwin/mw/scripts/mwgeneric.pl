#!/usr/bin/perl
# Stand-in for the runtime's generic starter: checks the runtime's
# environment, then runs the tool named first with the other arguments.
# The tool's exit status is the script's.
use strict;
use warnings;

for my $var (qw(MWHOME MWREGISTRY)) {
    die "mwgeneric.pl: $var is not set\n" unless defined $ENV{$var} && $ENV{$var} ne '';
}
die "mwgeneric.pl: no tool given\n" unless @ARGV;
my $tool = shift @ARGV;
die "mwgeneric.pl: $tool: not an executable\n" unless -f $tool && -x _;
exec { $tool } $tool, @ARGV or die "mwgeneric.pl: cannot run $tool: $!\n";
