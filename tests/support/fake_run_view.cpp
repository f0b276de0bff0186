#include "fake_run_view.h"

namespace vlm {

void FakeRunView::AppendReportLine(const std::string& line) {
    // The window's memo keeps the newest lines only.
    while (memo.size() >= static_cast<std::size_t>(kMemoMaxLines))
        memo.pop_front();
    memo.push_back(line);
    allReportLines.push_back(line);
    if (onReportLine)
        onReportLine(line);
}

}  // namespace vlm
