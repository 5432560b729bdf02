#pragma once

// Qt's HTTP connections leave Nagle's algorithm on (TCP_NODELAY unset). The last small
// segment of every request then waits for the acknowledgement of the one before, which a
// server with delayed acknowledgements holds back for up to 40 ms (200 ms on Windows): each
// small upload or request pays that wait. The transport turns it off for every TCP
// connection this process opens, as curl and browsers do.
//
// Answers whether the connections are low-delay (not in sanitizer builds, whose runtime
// owns connect()).
bool EnableLowDelaySockets();
