#include "platform/RebootWait.h"

#include <utility>

namespace kestrel {

namespace {
std::function<int()> rebootWaitShow;
}

void SetRebootWaitShow(std::function<int()> show) {
    rebootWaitShow = std::move(show);
}
const std::function<int()>& RebootWaitShow() {
    return rebootWaitShow;
}

} // namespace kestrel
