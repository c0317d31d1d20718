// The desktop services the window asks for: message boxes, the opening of a web address
// and the clipboard.
//
// The window reaches message boxes and addresses through a Shell, so that a caller (a test)
// can answer the boxes and record the addresses without a person at the screen. All of it
// runs on the window's thread. Texts are code page 936.
#pragma once

#include "text/text.h"

class QWidget;

namespace tarvo {

enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxIcon { None, Error };
enum class MessageBoxAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    // The window the box is modal to; null for a box of the program alone.
    QWidget* owner = nullptr;
    // An empty caption shows as kDefaultMessageBoxCaption.
    Text caption;
    Text text;
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    MessageBoxIcon icon = MessageBoxIcon::None;
};

// "信息：", the caption of a box that is given none.
extern const Text kDefaultMessageBoxCaption;

class Shell {
  public:
    virtual ~Shell() = default;

    // Shows the box modal to the program's thread and returns the button pressed. A box
    // closed without a button answers as its last button (Ok, No).
    virtual MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;

    // Hands `address` to the desktop's browser. A failure is not reported.
    virtual void OpenAddress(const Text& address) = 0;
};

// The desktop's own message boxes and browser.
class DesktopShell final : public Shell {
  public:
    MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
    void OpenAddress(const Text& address) override;
};

// Puts `text` on the desktop's clipboard as Unicode text, replacing what was there. Where
// the desktop runs a clipboard manager, the text stays there after the program has ended.
void PutTextOnClipboard(const Text& text);

}  // namespace tarvo
