#include "ui/window/DashboardApplicationList.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"
#include "ui/kit/Elided.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/LVText.h"
#include "ui/kit/ListEdits.h"
#include "ui/kit/Palette.h"
#include "ui/kit/ProcessGlyph.h"
#include "ui/kit/SelectionMenu.h"
#include "ui/window/ResourceDashboardLogic.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <cmath>
#include <numeric>

namespace lunorvale {

// ---- Model ----

namespace {

// What a row shows of a process: a change elsewhere (run time, CPU seconds) repaints nothing.
bool sameShown(const ProcessSample& a, const ProcessSample& b) {
    return a.identity == b.identity && a.name == b.name && a.cpuPercent == b.cpuPercent &&
           a.residentBytes == b.residentBytes;
}

bool sameShown(const ApplicationResourceGroup& a, const ApplicationResourceGroup& b) {
    if (a.id != b.id || a.name != b.name || a.bundlePath != b.bundlePath ||
        a.members.size() != b.members.size())
        return false;
    for (qsizetype i = 0; i < a.members.size(); ++i) {
        if (!sameShown(a.members[i], b.members[i]))
            return false;
    }
    return true;
}

} // namespace

ApplicationGroupsModel::~ApplicationGroupsModel() = default;

QList<ApplicationGroupsModel::Child>
ApplicationGroupsModel::childrenOf(const ApplicationResourceGroup& group) {
    QList<Child> children;
    children.reserve(group.members.size() + 1);
    if (group.bundlePath)
        children.append({QStringLiteral("path"), *group.bundlePath, {}, -1});
    // Highest CPU first, unmeasured last, ties in the members' order.
    QList<int> order(group.members.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&group](int a, int b) {
        return group.members[a].cpuPercent.value_or(-1) > group.members[b].cpuPercent.value_or(-1);
    });
    for (const int member : order)
        children.append({group.members[member].identity.key(), {}, group.members, member});
    return children;
}

void ApplicationGroupsModel::rowsReshaped(const QModelIndex& parent, int from) {
    if (parent.isValid())
        return; // children are found by their place in their group's list
    for (int i = std::max(0, from); i < static_cast<int>(m_nodes.size()); ++i)
        m_nodes[i]->row = i;
}

void ApplicationGroupsModel::setGroups(const QList<ApplicationResourceGroup>& groups) {
    QList<QStringView> ids;
    ids.reserve(groups.size());
    for (const ApplicationResourceGroup& group : groups)
        ids.append(group.id);
    const bool reshaped = reshapeRows(
        {}, m_nodes, ids, [](const std::shared_ptr<Node>& node) -> const QString& { return node->group.id; },
        [&groups](int i) {
            auto node = std::make_shared<Node>();
            node->group = groups[i];
            node->children = childrenOf(node->group);
            return node;
        });
    if (reshaped) {
        m_byID.clear();
        m_byID.reserve(m_nodes.size());
        for (const std::shared_ptr<Node>& node : std::as_const(m_nodes))
            m_byID.insert(node->group.id, node.get());
    }

    std::vector<RoleSet> changes(static_cast<size_t>(groups.size()));
    for (int i = 0; i < groups.size(); ++i) {
        Node& node = *m_nodes[i];
        if (sameShown(node.group, groups[i])) {
            // Kept current for the actions, without a notice: nothing shown changed, and the members
            // are where they were.
            node.group = groups[i];
            for (Child& child : node.children)
                if (child.member >= 0)
                    child.members = node.group.members;
            continue;
        }
        const QString name = node.group.name;
        node.group = groups[i];
        replaceRows(
            index(i, 0), node.children, childrenOf(node.group),
            [](const Child& child) -> const QString& { return child.key; },
            [](const Child& before, const Child& after) {
                if (after.member < 0)
                    return before.path == after.path ? RoleSet()
                                                     : RoleSet{Qt::DisplayRole, Qt::AccessibleTextRole};
                const ProcessSample& was = before.members[before.member];
                const ProcessSample& is = after.members[after.member];
                if (sameShown(was, is))
                    return RoleSet();
                return was.name == is.name ? RoleSet{Qt::AccessibleTextRole}
                                           : RoleSet{Qt::DisplayRole, Qt::AccessibleTextRole};
            });
        changes[static_cast<size_t>(i)] = name == node.group.name
                                              ? RoleSet{Qt::AccessibleTextRole}
                                              : RoleSet{Qt::DisplayRole, Qt::AccessibleTextRole};
    }
    announceChanges({}, changes);
}

ApplicationGroupsModel::Node* ApplicationGroupsModel::nodeOf(const QModelIndex& index) const {
    if (!index.isValid())
        return nullptr;
    if (auto* parent = static_cast<Node*>(index.internalPointer()))
        return parent;
    return m_nodes[index.row()].get();
}

ApplicationGroupsModel::RowKind ApplicationGroupsModel::kind(const QModelIndex& index) const {
    auto* parent = static_cast<Node*>(index.internalPointer());
    if (!parent)
        return RowKind::group;
    return parent->children[index.row()].key == QLatin1String("path") ? RowKind::path : RowKind::member;
}

const ApplicationResourceGroup& ApplicationGroupsModel::group(const QModelIndex& index) const {
    return nodeOf(index)->group;
}

const ProcessSample& ApplicationGroupsModel::member(const QModelIndex& index) const {
    const Child& child = static_cast<Node*>(index.internalPointer())->children[index.row()];
    return child.members[child.member];
}

QModelIndex ApplicationGroupsModel::indexOfGroup(const QString& id) const {
    const Node* node = m_byID.value(id);
    return node ? createIndex(node->row, 0, nullptr) : QModelIndex();
}

QString ApplicationGroupsModel::groupID(const QModelIndex& index) const {
    return index.isValid() ? group(index).id : QString();
}

QModelIndex ApplicationGroupsModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(m_nodes.size()) ? createIndex(row, 0, nullptr) : QModelIndex();
    if (parent.internalPointer())
        return {}; // children have no children
    Node* node = m_nodes[parent.row()].get();
    return row < node->children.size() ? createIndex(row, 0, node) : QModelIndex();
}

QModelIndex ApplicationGroupsModel::parent(const QModelIndex& child) const {
    auto* node = child.isValid() ? static_cast<Node*>(child.internalPointer()) : nullptr;
    return node ? createIndex(node->row, 0, nullptr) : QModelIndex();
}

int ApplicationGroupsModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return static_cast<int>(m_nodes.size());
    if (parent.column() != 0 || parent.internalPointer())
        return 0;
    return static_cast<int>(m_nodes[parent.row()]->children.size());
}

int ApplicationGroupsModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant ApplicationGroupsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    using namespace ResourceDashboardLogic;
    switch (kind(index)) {
    case RowKind::group: {
        const ApplicationResourceGroup& g = group(index);
        if (role == Qt::DisplayRole)
            return g.name;
        return QStringList{g.name, groupSubtitle(g), groupCPU(g), DisplayFormat::memory(g.residentBytes())}
            .join(QStringLiteral("，"));
    }
    case RowKind::path:
        // What the row draws: its escapes, for a screen reader and the list's keyboard search.
        return SafeText::escaped(static_cast<Node*>(index.internalPointer())->children[index.row()].path);
    case RowKind::member: {
        const ProcessSample& m = member(index);
        if (role == Qt::DisplayRole)
            return m.name;
        return QStringList{m.name, QStringLiteral("PID ") + QString::number(m.identity.pid),
                           DisplayFormat::cpu(m.cpuPercent), DisplayFormat::memory(m.residentBytes)}
            .join(QStringLiteral("，"));
    }
    }
    return {};
}

// ---- Delegate ----

namespace {

constexpr int groupPadding = 11;
constexpr int childLead = 20;
constexpr int childPadding = 12;
constexpr int childSpacing = 9;
constexpr int chevronWidth = 12;

qreal lineOf(const QFont& font) {
    return QFontMetricsF(font).height();
}

// Made once (and kept to the end, past the application object): a list of thousands of rows asks for
// them for every row it lays out and paints.
const QFont& valueFont() {
    static const QFont* font = new QFont(Fonts::monospacedDigits(13));
    return *font;
}
const QFont& captionFont() {
    static const QFont* font = new QFont(Fonts::system(10));
    return *font;
}
const QFont& childFont() {
    static const QFont* font = new QFont(Fonts::system(11));
    return *font;
}
const QFont& nameFont() {
    static const QFont* font = new QFont(Fonts::system(12, FontWeight::medium));
    return *font;
}
const QFont& childFigureFont() {
    static const QFont* font = new QFont(Fonts::monospacedDigits(11));
    return *font;
}

void text(QPainter* painter, const QRectF& rect, const QFont& font, const QColor& color, const QString& value,
          Qt::Alignment alignment) {
    painter->setFont(font);
    painter->setPen(color);
    painter->drawText(rect, alignment | Qt::AlignVCenter | Qt::TextSingleLine,
                      elidedRight(QFontMetricsF(font), value, rect.width()));
}

int groupHeight() {
    static const int height = [] {
        const qreal names = lineOf(nameFont()) + 4 + lineOf(captionFont());
        const qreal figures = lineOf(valueFont()) + 4 + lineOf(captionFont());
        return static_cast<int>(std::ceil(std::max<qreal>({qreal(ProcessGlyph::tileSide), names, figures}))) +
               2 * groupPadding;
    }();
    return height;
}

int childBand() {
    static const int band = static_cast<int>(std::ceil(lineOf(childFont()))) + childSpacing;
    return band;
}

int linkWidth() {
    static const int width =
        static_cast<int>(std::ceil(QFontMetricsF(childFont()).horizontalAdvance(QStringLiteral("查看任务"))));
    return width;
}

// How far the ring of a path field lies outside it.
constexpr int pathRingMargin = 2;

// The path of an open group, shown verbatim: plain text to select and copy, in the muted caption of the
// row. Copying gives the path behind the escapes, to the clipboard and to the selection alike.
class PathField final : public QLineEdit {
    Q_OBJECT
public:
    explicit PathField(QWidget* parent) : QLineEdit(parent) {
        setReadOnly(true);
        setFrame(false);
        setFont(captionFont());
        setTextMargins(0, 0, 0, 0);
        setContextMenuPolicy(Qt::DefaultContextMenu);
        setAutoFillBackground(false);
        applyColor();
        // The field is as tall as its row band and as wide as its text: the ring goes around it.
        FocusRing::surround(*this, pathRingMargin, 6);
    }

public slots:
    // Instead of the line edit's own, which copies what the field shows: the menu bar's "复制" calls the
    // focused text's copy() by its name.
    void copy() { copySelection(QClipboard::Clipboard); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Copy)) {
            copySelection(QClipboard::Clipboard);
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        copySelection(QClipboard::Selection);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLineEdit::mouseReleaseEvent(event);
        copySelection(QClipboard::Selection);
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        SelectionMenu::popup(
            *this, event->globalPos(), [this] { return copiedSelection(); }, [this] { selectAll(); });
    }
    void changeEvent(QEvent* event) override {
        QLineEdit::changeEvent(event);
        // Only the window's appearance changes the resolved colour.
        if (event->type() == QEvent::PaletteChange &&
            palette().color(QPalette::Text) != Palette::muted.in(this))
            applyColor();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        // A selection left behind here while another text is used would look like two selections.
        if (event->reason() != Qt::PopupFocusReason)
            deselect();
    }

private:
    QString copiedSelection() const {
        return hasSelectedText() ? SafeText::copied(text(), selectionStart(), selectionEnd()) : QString();
    }
    // After the field's own copying, which copies what it shows.
    void copySelection(QClipboard::Mode mode) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (hasSelectedText() && (mode == QClipboard::Clipboard || clipboard->supportsSelection()))
            clipboard->setText(copiedSelection(), mode);
    }
    void applyColor() {
        QPalette colours = palette();
        colours.setColor(QPalette::Text, Palette::muted.in(this));
        colours.setColor(QPalette::Base, Qt::transparent);
        setPalette(colours);
    }
};

} // namespace

GroupRowDelegate::GroupRowDelegate(ApplicationGroupsModel& model, QObject* parent)
    : QStyledItemDelegate(parent), m_model(model) {}

int GroupRowDelegate::height(const QModelIndex& index) const {
    if (m_model.kind(index) == ApplicationGroupsModel::RowKind::group)
        return groupHeight();
    int height = childBand();
    if (index.row() == 0)
        height += childPadding;
    if (index.row() == m_model.rowCount(index.parent()) - 1)
        height += childPadding;
    return height;
}

QSize GroupRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    return {400, height(index)};
}

QRect GroupRowDelegate::linkRect(const QRect& row) {
    return QRect(row.right() - linkWidth(), row.top(), linkWidth() + 1, row.height());
}

QRectF GroupRowDelegate::childText(const QRect& row, const QModelIndex& index) const {
    const int rows = m_model.rowCount(index.parent());
    return QRectF(row).adjusted(childLead, index.row() == 0 ? childPadding : 0, 0,
                                index.row() == rows - 1 ? -childPadding : 0);
}

QWidget* GroupRowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                        const QModelIndex& index) const {
    if (m_model.kind(index) != ApplicationGroupsModel::RowKind::path)
        return nullptr;
    return new PathField(parent);
}

void GroupRowDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    auto* field = static_cast<QLineEdit*>(editor);
    const QString path = SafeText::verbatim(m_model.group(index).bundlePath.value_or(QString()));
    if (field->text() == path)
        return;
    field->setText(path);
    field->setCursorPosition(0);
    field->setAccessibleName(path);
}

void GroupRowDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {}

void GroupRowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    // A line edit keeps 2 px before its text: the path starts where the members' names do. It ends short of
    // the list's edge by its ring, which the list would cut off.
    editor->setGeometry(childText(option.rect, index).toAlignedRect().adjusted(-2, 0, -pathRingMargin, 0));
}

void GroupRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    using namespace ResourceDashboardLogic;
    const QWidget* widget = option.widget;
    const QColor ink = Palette::ink.in(widget);
    const QColor muted = Palette::muted.in(widget);
    const QRect rect = option.rect;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if ((option.state & QStyle::State_HasFocus) && widget && widget->hasFocus()) {
        const QRectF band = QRectF(rect).adjusted(0, 1, 0, -1);
        QPainterPath current;
        current.addRoundedRect(band, 6, 6);
        painter->fillPath(current, Palette::soft.in(widget));
        if (FocusRing::shown(*widget))
            FocusRing::paint(*painter, band, 6, *widget);
    }
    const ApplicationGroupsModel::RowKind kind = m_model.kind(index);
    bool divider = false;
    if (kind == ApplicationGroupsModel::RowKind::group) {
        const ApplicationResourceGroup& group = m_model.group(index);
        const bool open = option.state & QStyle::State_Open;
        const qreal middle = rect.center().y() + 0.5;
        const int chevron = LVSymbol::side(9);
        (open ? LVSymbol("chevron.down") : LVSymbol("chevron.right"))
            .paint(*painter, QRectF(rect.left(), middle - chevron / 2.0, chevron, chevron), muted);
        const qreal glyphLeft = rect.left() + chevronWidth + 8;
        ProcessGlyph::paint(*painter, QPointF(glyphLeft, middle - ProcessGlyph::tileSide / 2.0), group.name,
                            Palette::appearanceOf(widget));
        const qreal memoryLeft = rect.right() + 1 - 114;
        const qreal cpuLeft = memoryLeft - 14 - 108;
        const qreal figureTop = middle - (lineOf(valueFont()) + 4 + lineOf(captionFont())) / 2;
        const auto figure = [&](qreal left, qreal width, const QString& value, const QString& caption) {
            text(painter, QRectF(left, figureTop, width, lineOf(valueFont())), valueFont(), ink, value,
                 Qt::AlignRight);
            text(painter, QRectF(left, figureTop + lineOf(valueFont()) + 4, width, lineOf(captionFont())),
                 captionFont(), muted, caption, Qt::AlignRight);
        };
        figure(cpuLeft, 108, groupCPU(group), QStringLiteral("CPU 合计"));
        figure(memoryLeft, 114, DisplayFormat::memory(group.residentBytes()), QStringLiteral("驻留内存合计"));
        const qreal nameLeft = glyphLeft + ProcessGlyph::tileSide + 14;
        const qreal nameWidth = std::max<qreal>(0, cpuLeft - 14 - nameLeft);
        const qreal nameTop = middle - (lineOf(nameFont()) + 4 + lineOf(captionFont())) / 2;
        text(painter, QRectF(nameLeft, nameTop, nameWidth, lineOf(nameFont())), nameFont(), ink, group.name,
             Qt::AlignLeft);
        text(painter, QRectF(nameLeft, nameTop + lineOf(nameFont()) + 4, nameWidth, lineOf(captionFont())),
             captionFont(), muted, groupSubtitle(group), Qt::AlignLeft);
        divider = !open;
    } else {
        const int rows = m_model.rowCount(index.parent());
        const QRectF band = childText(rect, index);
        if (kind == ApplicationGroupsModel::RowKind::path) {
            // The open group's field shows the path; the text is drawn only until it stands there.
            const auto* view = qobject_cast<const QAbstractItemView*>(widget);
            if (!view || !view->indexWidget(index))
                text(painter, band, captionFont(), muted,
                     SafeText::verbatim(m_model.group(index).bundlePath.value_or(QString())), Qt::AlignLeft);
        } else {
            const ProcessSample& member = m_model.member(index);
            const QRect link = linkRect(band.toAlignedRect());
            text(painter, link, childFont(), Palette::accent.in(widget), QStringLiteral("查看任务"),
                 Qt::AlignLeft);
            qreal right = link.left() - 12;
            const auto column = [&](qreal width) {
                const QRectF cell(right - width, band.top(), width, band.height());
                right -= width + 12;
                return cell;
            };
            const QRectF memory = column(92);
            const QRectF cpu = column(74);
            const QRectF pid = column(82);
            text(painter, memory, childFigureFont(), ink, DisplayFormat::memory(member.residentBytes),
                 Qt::AlignRight);
            text(painter, cpu, childFigureFont(), ink, DisplayFormat::cpu(member.cpuPercent), Qt::AlignRight);
            text(painter, pid, childFont(), muted,
                 QStringLiteral("PID ") + QString::number(member.identity.pid), Qt::AlignLeft);
            text(painter,
                 QRectF(band.left(), band.top(), std::max<qreal>(0, right - band.left()), band.height()),
                 childFont(), ink, member.name, Qt::AlignLeft);
        }
        divider = index.row() == rows - 1;
    }
    if (divider)
        painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), Palette::line.in(widget));
    painter->restore();
}

bool GroupRowDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) {
    if (event->type() != QEvent::MouseButtonRelease ||
        m_model.kind(index) != ApplicationGroupsModel::RowKind::member)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton || !linkRect(option.rect).contains(mouse->position().toPoint()))
        return false;
    emit showProcess(m_model.member(index).identity);
    return true;
}

bool GroupRowDelegate::eventFilter(QObject* editor, QEvent* event) {
    // Tab leaves the path field for the next control, as from any other field. The item delegate's
    // own handling would close the field into its list, whose next Tab stop is the field again.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
    }
    return QStyledItemDelegate::eventFilter(editor, event);
}

// ---- The card ----

DashboardApplicationList::DashboardApplicationList(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    LVCard* frame = card(content);
    frame->setObjectName(QStringLiteral("application-resources"));
    outer->addWidget(frame);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new LVText(QStringLiteral("应用与独立进程"), Fonts::system(15, FontWeight::semibold),
                                 Palette::ink, content),
                      1);
    m_search = new QLineEdit(content);
    m_search->setPlaceholderText(QStringLiteral("搜索应用、进程或 PID"));
    m_search->setAccessibleName(QStringLiteral("搜索应用、进程或 PID"));
    m_search->setFixedWidth(220);
    m_search->setFont(Fonts::system(12));
    m_search->setClearButtonEnabled(true);
    header->addWidget(m_search);
    m_sort = new LVSegmentedControl({QStringLiteral("CPU"), QStringLiteral("内存")}, content);
    m_sort->setAccessibleName(QStringLiteral("资源排序"));
    m_sort->setFixedWidth(150);
    header->addWidget(m_sort);
    column->addLayout(header);

    m_summary = new LVText({}, Fonts::system(11), Palette::muted, content);
    column->addWidget(m_summary);

    m_model = new ApplicationGroupsModel(this);
    m_delegate = new GroupRowDelegate(*m_model, this);
    m_view = new QTreeView(content);
    m_view->setModel(m_model);
    m_view->setItemDelegate(m_delegate);
    m_view->setHeaderHidden(true);
    m_view->setRootIsDecorated(false);
    m_view->setIndentation(0);
    m_view->setUniformRowHeights(false);
    m_view->setSelectionMode(QAbstractItemView::NoSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setExpandsOnDoubleClick(false);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->viewport()->setAutoFillBackground(false);
    m_view->setAccessibleName(QStringLiteral("应用与独立进程"));
    m_view->installEventFilter(this);
    column->addWidget(m_view);

    m_empty = new LVText({}, QApplication::font(), Palette::muted, content);
    m_emptyFrame = new QWidget(content);
    auto* emptyColumn = new QVBoxLayout(m_emptyFrame);
    emptyColumn->setContentsMargins(0, 20, 0, 20);
    emptyColumn->addWidget(m_empty);
    column->addWidget(m_emptyFrame);

    column->addWidget(
        new LVText(QStringLiteral("CPU 100% 约等于一个逻辑核心，应用合计可能超过 100%。内存按进程驻留量相加，"
                                  "可能包含共享页，不等于独占内存或退出后必然释放的空间。"),
                   Fonts::system(10), Palette::muted, content));

    connect(m_search, &QLineEdit::textEdited, this, &DashboardApplicationList::searchEdited);
    connect(m_sort, &LVSegmentedControl::currentIndexChanged, this, [this](int index) {
        if (!m_applying)
            emit sortChosen(index == 1 ? ResourceDashboardLogic::GroupSort::memory
                                       : ResourceDashboardLogic::GroupSort::cpu);
    });
    connect(m_view, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        if (m_model->kind(index) == ApplicationGroupsModel::RowKind::group)
            m_view->setExpanded(index, !m_view->isExpanded(index));
    });
    for (const auto signal : {&QTreeView::expanded, &QTreeView::collapsed}) {
        connect(m_view, signal, this, [this, signal](const QModelIndex& index) {
            const QString id = m_model->groupID(index);
            const bool open = signal == &QTreeView::expanded;
            if (open)
                m_open.insert(id);
            else
                m_open.remove(id);
            showPathField(index, open);
            fitHeight();
            if (!m_applying)
                emit expansionChanged(id, open);
        });
    }
    connect(m_delegate, &GroupRowDelegate::showProcess, this, &DashboardApplicationList::showProcess);
    // A path that comes to a group already open.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int first) {
        if (parent.isValid() && first == 0 && m_view->isExpanded(parent))
            showPathField(parent, true);
    });
    fitHeight();
}

void DashboardApplicationList::setContent(const QList<ApplicationResourceGroup>& shown,
                                          const QSet<QString>& expanded, const QString& emptyText) {
    m_applying = true;
    m_model->setGroups(shown);
    applyExpanded(expanded);
    m_applying = false;
    m_empty->setText(emptyText);
    m_view->setVisible(!shown.isEmpty());
    m_emptyFrame->setVisible(shown.isEmpty());
    fitHeight();
}

void DashboardApplicationList::setSummary(const QString& summary) {
    m_summary->setText(summary);
}

void DashboardApplicationList::setSearch(const QString& search) {
    if (m_search->text() != search)
        m_search->setText(search);
}

void DashboardApplicationList::setSort(ResourceDashboardLogic::GroupSort sort) {
    m_applying = true;
    m_sort->setCurrentIndex(sort == ResourceDashboardLogic::GroupSort::memory ? 1 : 0);
    m_applying = false;
}

void DashboardApplicationList::applyExpanded(const QSet<QString>& expanded) {
    // Only the difference is applied: a group whose row went away lost its open state with it.
    for (const QString& id : QSet<QString>(m_open)) {
        const QModelIndex index = m_model->indexOfGroup(id);
        if (!index.isValid() || !m_view->isExpanded(index))
            m_open.remove(id);
        else if (!expanded.contains(id))
            m_view->collapse(index);
    }
    for (const QString& id : expanded) {
        const QModelIndex index = m_model->indexOfGroup(id);
        if (index.isValid() && !m_open.contains(id))
            m_view->expand(index);
    }
}

void DashboardApplicationList::showPathField(const QModelIndex& group, bool open) {
    const QModelIndex first = m_model->index(0, 0, group);
    if (!first.isValid() || m_model->kind(first) != ApplicationGroupsModel::RowKind::path)
        return;
    if (!open) {
        m_view->closePersistentEditor(first);
        return;
    }
    m_view->openPersistentEditor(first);
    // The view selects the whole text of a new line editor, for typing over it; this line is only read,
    // and a group opens with nothing selected.
    if (auto* field = qobject_cast<QLineEdit*>(m_view->indexWidget(first)))
        field->deselect();
}

void DashboardApplicationList::fitHeight() {
    // The list is as tall as its rows: the page scrolls, not the list.
    const int rows = m_model->rowCount();
    int height = rows > 0 ? rows * m_delegate->height(m_model->index(0, 0)) : 0;
    for (const QString& id : std::as_const(m_open)) {
        const QModelIndex index = m_model->indexOfGroup(id);
        const int children = m_model->rowCount(index);
        for (int child = 0; child < children; ++child)
            height += m_delegate->height(m_model->index(child, 0, index));
    }
    m_view->setFixedHeight(height);
}

bool DashboardApplicationList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = m_view->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            if (m_model->kind(current) == ApplicationGroupsModel::RowKind::member)
                emit showProcess(m_model->member(current).identity);
            else if (m_model->kind(current) == ApplicationGroupsModel::RowKind::group)
                m_view->setExpanded(current, !m_view->isExpanded(current));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lunorvale

#include "DashboardApplicationList.moc"
