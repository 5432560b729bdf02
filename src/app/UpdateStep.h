#pragma once

class CBizProgressHandler;
class CMainSystem;

// What the sign-in window does after the update step.
enum class EUpdateStepResult {
    // Nothing newer, or the update failed with a reported fault: sign in on this version.
    Continue,
    // The installer was started: close with the cancel result so that it can replace the
    // application.
    CloseApplication,
    // The sign-in does not proceed. Every message has been shown: 18191 when the newer
    // version was not installed, the fault when the check itself failed.
    Stop,
};

// The update step after every successful sign-in: asks for the newest version and, when it
// is newer, announces it (18189), downloads it with the progress text 18190 and starts it.
// Runs under its own exception boundary and reports what it raises.
EUpdateStepResult RunUpdateStep(CMainSystem &main, CBizProgressHandler *progress = nullptr);

// How the check before a bulk download and in the version dialog ended.
enum class EUpdateCheckResult {
    UpToDate,
    // 18362 has been shown with the version: the caller stops.
    NewerFound,
    // The check failed; a fault has been reported.
    Failed,
};

// The check alone, with the progress text "更新プログラムをチェックしています...".
EUpdateCheckResult CheckForNewerVersion(CMainSystem &main, CBizProgressHandler *progress = nullptr);
