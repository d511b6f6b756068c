#include "platform/MessageBox.h"

#include <cstdio>

namespace kestrel {

namespace {
MessageBoxSink* messageSink = nullptr;

const char* IconName(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return "error";
    case MessageIcon::Warning:
        return "warning";
    case MessageIcon::Question:
        return "question";
    case MessageIcon::None:
        break;
    }
    return "message";
}
} // namespace

void SetMessageBoxSink(MessageBoxSink* sink) {
    messageSink = sink;
}
MessageBoxSink* CurrentMessageBoxSink() {
    return messageSink;
}

void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    if (messageSink) {
        messageSink->Show(text, title, icon);
        return;
    }
    std::fprintf(stderr, "[%s] %s: %s\n", IconName(icon), title.c_str(), text.c_str());
}

RecordingMessageBox::RecordingMessageBox() : previous_(messageSink) {
    messageSink = this;
}
RecordingMessageBox::~RecordingMessageBox() {
    messageSink = previous_;
}

void RecordingMessageBox::Show(const std::string& text, const std::string& title,
                               MessageIcon icon) {
    shown.push_back({text, title, icon});
}

} // namespace kestrel
