// The station list as the scan sees it: rows of seven texts. The main window's
// list implements it, so the scan fills the list without knowing the widget.
#pragma once

#include <array>
#include <string>

namespace kestrel {

inline constexpr int StationListColumns = 7;
using StationRow = std::array<std::string, StationListColumns>;

class StationListSink {
  public:
    virtual ~StationListSink() = default;
    virtual void DeleteAllRows() = 0;
    virtual void AddRow(const StationRow& row) = 0;
    virtual void DeleteRow(int position) = 0;
    virtual void InsertRow(int position, const StationRow& row) = 0;
};

} // namespace kestrel
