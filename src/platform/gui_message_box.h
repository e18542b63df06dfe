#pragma once

// The system message box: a modal box with no owner window.

#include <string_view>

namespace melvara::platform {

// Style bits as the system defines them.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbAbortRetryIgnore = 0x2;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbRetryCancel = 0x5;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

// Answers.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Shows text (GBK) under title (GBK) with the buttons and icon that style
// names, application-modal, and returns the answer; a box closed without a
// button gives the answer of its Cancel (or only) button. Call it on the
// window's thread; elsewhere, or without an application, it shows nothing and
// returns 0.
int MessageBox(std::string_view text, std::string_view title, unsigned style);

}  // namespace melvara::platform
