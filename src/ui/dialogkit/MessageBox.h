// Message boxes with exact text, caption (may be empty), buttons and icon, all through one
// function so that tests can answer them: with a hook installed no box is shown, the hook gets
// the request and returns the answer. Callable from any thread: a call from another thread is
// carried out on the GUI thread and waits for the answer there. Text is UTF-8.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kestrow::ui {

class Dialog;

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MessageIcon { None, Information, Warning, Error, Question };

// Answers carry the Windows command ids.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct MessageRequest {
    std::string text;
    std::string caption;
    std::string detail;  // informative text under the main text; empty for none
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    bool owned = false;  // shown with an owner window
};

// Shows the box owned by `owner` (null: no owner) and returns the id of the button pressed.
int ShowMessage(const Dialog* owner, std::string_view text, std::string_view caption,
                MessageButtons buttons = MessageButtons::Ok, MessageIcon icon = MessageIcon::None,
                std::string_view detail = {});

// Tests: every box goes to `hook` instead (runs on the GUI thread); null shows real boxes again.
using MessageHook = std::function<int(const MessageRequest&)>;
void SetMessageHook(MessageHook hook);

}  // namespace kestrow::ui
