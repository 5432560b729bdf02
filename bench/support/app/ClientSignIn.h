#pragma once

// The client's own sign-in in a benchmark's children, as the sign-in window runs it.

class CSystemObjects;

namespace bench {

// A program start followed by an online sign-in of yamada at office "demo": the folder tree
// and the file types loaded, the cache view attached. savePassword as the window's check box.
bool SignInAsYamada(CSystemObjects &systems, bool savePassword = true);

// The installation's first sign-in, saved as the sign-in window saves it, so that every later
// child is the same client; prints "clientkey <key>" (the key a lock carries). A child mode.
int ChildFirstSignIn();

} // namespace bench
