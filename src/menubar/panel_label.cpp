#include "menubar/panel_label.h"

#include "menubar/router_menu_bar_graph_layout.h"

namespace pulsewell {

std::string panelLabel(std::string_view up, std::string_view down) {
  std::string label;
  label.reserve(up.size() + down.size() + 10);
  label += RouterMenuBarGraphLayout::upArrow;
  label += ' ';
  label += up;
  label += ' ';
  label += RouterMenuBarGraphLayout::downArrow;
  label += ' ';
  label += down;
  return label;
}

std::string panelLabelGuide(bool inBits) {
  const auto reference = RouterMenuBarGraphLayout::referenceTexts[inBits ? 1 : 0];
  return panelLabel(reference, reference);
}

}  // namespace pulsewell
