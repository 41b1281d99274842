#pragma once
// The process groups of the children that are still running. Every child runs in a
// group of its own, so that a time-out or an interrupted parent ends the child and
// whatever it started, and a terminal's Ctrl-C reaches only the parent, which then ends
// its children itself.
#include <sys/types.h>

namespace berth {

// A running child's group (its pid) is known until it is forgotten; at most a few
// dozen are known at once, and a group that finds no room is simply not known.
void remember_child_group(pid_t group);
void forget_child_group(pid_t group);

// SIGINT, SIGTERM and SIGHUP first kill every known child group, then end the program
// as the signal would have. Installed once by a program that runs children.
void kill_child_groups_on_interrupt();

}  // namespace berth
