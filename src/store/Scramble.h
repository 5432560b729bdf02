#pragma once

#include <QString>

// Keeps passwords and client keys from being read at a glance in state files and on
// command lines. Not encryption: every code unit is XORed with a 16-bit key, so the same
// call scrambles and unscrambles and the length never changes (a code unit equal to the
// key becomes U+0000, which callers store with its length).
constexpr quint16 SavedLoginsScrambleKey = 0x2B5D; // logins.vqr; also used for key 0
constexpr quint16 CommandLineScrambleKey = 0x5E97; // the pwd switch without pp

QString ScrambleText(const QString &text, quint16 key = 0);
