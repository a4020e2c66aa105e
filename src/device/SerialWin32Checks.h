// Failure reporting shared by the Win32 serial sources. BOOL is passed as int and DWORD as
// uint32_t so that this header needs no Windows header.
#pragma once

#include <cstdint>
#include <string>

namespace kestrow::win32 {

inline constexpr const char* kErrorCaption = "Error";

// "error <n>: <the system's wording>", for the detail of a report.
[[nodiscard]] std::string SystemMessage(uint32_t error);

// Reports text with caption "Error" and the reason GetLastError gives, then restores that
// reason so the caller can still look at it.
void ReportLastError(const char* text);

// Reports a failed call; the result is the call's own.
bool Checked(int ok, const char* text);

// The same for overlapped calls, where a pending operation is not a failure.
bool CheckedPending(int ok, const char* text);

}  // namespace kestrow::win32
