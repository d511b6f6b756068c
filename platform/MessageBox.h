// Message boxes without an owner window and with an OK button. The core shows
// them through this interface; the GUI puts up a real box, tests record them.
#pragma once

#include <string>
#include <vector>

namespace kestrel {

enum class MessageIcon { None, Error, Warning, Question };

class MessageBoxSink {
  public:
    virtual ~MessageBoxSink() = default;
    virtual void Show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};

// Installs the sink (nullptr: messages go to standard error).
void SetMessageBoxSink(MessageBoxSink* sink);
MessageBoxSink* CurrentMessageBoxSink();

// Shows a message box and returns when the user has confirmed it.
void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon);

struct ShownMessage {
    std::string text;
    std::string title;
    MessageIcon icon;
    bool operator==(const ShownMessage&) const = default;
};

// Confirms every box at once and keeps what was shown; installs itself for its lifetime.
class RecordingMessageBox : public MessageBoxSink {
  public:
    RecordingMessageBox();
    ~RecordingMessageBox() override;
    void Show(const std::string& text, const std::string& title, MessageIcon icon) override;
    std::vector<ShownMessage> shown;

  private:
    MessageBoxSink* previous_;
};

} // namespace kestrel
