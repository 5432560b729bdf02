#pragma once

// The windows of the interactive session, as the session loop sees them. The UI layer
// implements it with the login dialog and the two main windows; tests script it.
namespace LoginResult {
constexpr int Closed = 0;
constexpr int SignedIn = 1;
constexpr int Cancelled = 2;
constexpr int OfflineWork = 21265;
constexpr int ModeTyped = 21267;   // show again: office ID typed in (mode 1)
constexpr int ModeChosen = 21268;  // show again: office ID chosen from saved logins (mode 2)
constexpr int ModeOmitted = 21269; // show again: office ID omitted (mode 0)
} // namespace LoginResult

class ISessionUi
{
public:
    virtual ~ISessionUi() = default;
    // Shows the login dialog in a presentation mode (0 office ID omitted, 1 typed in,
    // 2 chosen from the saved logins) and answers one of LoginResult.
    virtual int RunLoginDialog(int mode) = 0;
    // Run until the window closes (both answer 2).
    virtual int RunOnlineMainWindow() = 0;
    virtual int RunOfflineMainWindow() = 0;
    // A second start of this installation asked for the front.
    virtual void ActivateMainWindow() {}
};
