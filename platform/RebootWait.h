// How the protocol shows the reboot wait: the form that plays it registers a
// function that shows it modally and returns its modal result (1 answered,
// 2 not). Without a form, the wait runs the polling directly.
#pragma once

#include <functional>

namespace kestrel {

inline constexpr int ModalResultOk = 1;
inline constexpr int ModalResultCancel = 2;

void SetRebootWaitShow(std::function<int()> show);
const std::function<int()>& RebootWaitShow();

} // namespace kestrel
