#pragma once

#include <QString>
#include <functional>

class QPoint;
class QWidget;

namespace lunorvale {

// The context menu of every text the user selects and copies (a selectable text, a path field): "复制"
// and "全选", entries of the kit's own. Qt's standard menus are not used: no name Qt promises tells which
// of their entries copies, and their copy takes the text as shown, escapes and isolates included, where a
// verbatim path must paste as the path.
namespace SelectionMenu {

// Opens the menu of `owner` at `globalPosition`; it deletes itself when it closes. "复制" puts on the
// clipboard what `copied` gives when it is chosen: the selection as it pastes (see SafeText::copied),
// empty when nothing is selected.
void popup(QWidget& owner, const QPoint& globalPosition, const std::function<QString()>& copied,
           const std::function<void()>& selectAll);

} // namespace SelectionMenu

} // namespace lunorvale
