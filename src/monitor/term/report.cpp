#include "monitor/term/report.h"

#include <algorithm>
#include <cstdio>

#include "monitor/status.h"
#include "shared/codepage.h"

namespace tol {

std::string ModelText(const MonitorModel& model) {
  std::string text = Cp932ToUtf8(model.caption) + "\n";
  for (int slot = 1; slot <= kVisibleSlotCount; ++slot) {
    const PanelModel& p = model.panel(slot);
    std::string caption = Cp932ToUtf8(p.caption);
    caption.resize(std::max<std::size_t>(caption.size(), 5), ' ');
    text += caption + " " + ColorHex(p.color) + " " + Cp932ToUtf8(p.hint) + "\n";
  }
  return text;
}

}  // namespace tol
