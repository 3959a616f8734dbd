#pragma once

#include "core/ai/AIConfiguration.h"
#include "platform/gui/ApplicationIconLoader.h"
#include "ui/library/ApplicationLibraryLogic.h"
#include "ui/library/LibraryParts.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class QMenu;
class QAbstractButton;
class QTimer;

namespace lunorvale {

class ApplicationLibraryDetails;
class ApplicationLibraryModel;
class ApplicationListModel;
class ApplicationListView;
class DesktopOpener;
class FileRevealer;
class LVButton;
class LVDisclosure;
class LVEmptyState;
class LVPlainButton;
class LVSelectableText;
class LVText;
class RefreshCoalescer;
class UrlOpener;

// What the page uses of the desktop besides the library model; the page makes none of it.
struct ApplicationLibraryViewServices {
    FileRevealer* revealer = nullptr;       // the reveal buttons; absent: nothing is shown
    UrlOpener* urlOpener = nullptr;         // the uninstall guide; absent: nothing is opened
    std::shared_ptr<DesktopOpener> desktop; // the desktop's login items; absent: nothing is shown
    LibraryConfirmer confirm;               // the quit and clear alerts; absent: window-modal message boxes
    // The page's icon loader; absent: every icon is the placeholder.
    std::function<std::unique_ptr<ApplicationIconLoader>()> makeIconLoader;
};

// The main window's page "应用管理": the scanned applications with search, filter and sort, the selected
// one's details and removal actions, ticks for AI advice, and the sheets of the removal, the advice
// consent and the receipts (one at a time, window-modal).
//
// The page holds only what the user is typing or choosing; everything else is read from the library
// model, whose changes are applied once per pass of the event loop, in place: rows are removed,
// moved, inserted and changed by their bundle path and the list is never reset, whatever comes or goes,
// and the search field, scroll position and open sheets are never rebuilt.
//
// It appears when it comes on screen in a shown window (first time: a scan; later: the running state),
// then reads the receipts and refreshes the running state every 2 s while shown; it leaves when hidden
// by a page switch, the help or closing the window, not when minimised. In preview it calls nothing.
class ApplicationLibraryView final : public QWidget {
    Q_OBJECT
public:
    ApplicationLibraryView(ApplicationLibraryModel& library, AIConfiguration configuration,
                           std::function<void()> configureAI, ApplicationLibraryViewServices services = {},
                           QWidget* parent = nullptr);
    ~ApplicationLibraryView() override;

    // The saved AI settings changed.
    void setConfiguration(const AIConfiguration& configuration);

    // The page's own state.
    const QString& search() const { return m_search; }
    LibraryFilter filter() const { return m_filter; }
    LibrarySort sort() const { return m_sort; }
    bool showsAISelection() const { return m_showAISelection; }
    void setFilter(LibraryFilter filter);
    void setSort(LibrarySort sort);
    void setShowAISelection(bool show);

    // Applies the model now instead of at the next pass of the event loop.
    void refresh();
    void appear();
    void leave();
    bool hasAppeared() const { return m_appeared; }

    static constexpr int runningRefreshMilliseconds = 2000;

    // Parts, for tests.
    QLineEdit* searchField() const { return m_searchField; }
    QMenu* sortMenu() const { return m_sortMenu; }
    QAbstractButton* filterButton() const { return m_filterButton; }
    QAbstractButton* sortButton() const { return m_sortButton; }
    LVButton* receiptsButton() const { return m_receiptsButton; }
    LVSelectableText* bannerText() const { return m_bannerText; }
    LVPlainButton* bannerClose() const { return m_bannerClose; }
    LVText* countText() const { return m_count; }
    LVPlainButton* selectVisibleButton() const { return m_selectVisible; }
    LVPlainButton* selectionToggle() const { return m_toggleSelection; }
    LVText* selectionText() const { return m_selectionText; }
    LVButton* adviceButton() const { return m_adviceButton; }
    ApplicationListView* list() const { return m_list; }
    ApplicationListModel* listModel() const { return m_rows; }
    LVEmptyState* emptyState() const { return m_empty; }
    ApplicationLibraryDetails* details() const { return m_details; }
    // The sheet shown now; null when none is.
    LibrarySheet* sheet() const { return m_sheet; }
    ApplicationIconLoader* icons() const { return m_icons.get(); }
    QTimer* runningTimer() const { return m_runningTimer; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    enum class Sheet { none, removal, consent, receipts };

    QWidget* makeHeader();
    QWidget* makeToolbar();
    QWidget* makeBanner();
    QWidget* makeListColumn();
    QWidget* makeScope();
    void connectModel();
    void refreshList();
    void refreshSelectionBar();
    void refreshScope();
    std::optional<InstalledApplication> selectedApplication() const;
    void select(const QString& path);
    void tickRow(const QString& path, bool on);
    void tickVisible();
    void requestAdvice();
    void requestQuit(const InstalledApplication& application);
    void presentSheets();
    void openSheet(Sheet kind, QWidget* content, std::function<void()> onCancel);
    void closeSheet();
    QStringList visiblePaths() const;

    ApplicationLibraryModel& m_library;
    AIConfiguration m_configuration;
    std::function<void()> m_configureAI;
    ApplicationLibraryViewServices m_services;
    std::unique_ptr<ApplicationIconLoader> m_icons;

    QString m_search;
    LibrarySort m_sort = LibrarySort::name;
    LibraryFilter m_filter = LibraryFilter::all;
    std::optional<ApplicationAdviceConsent> m_consent;
    bool m_showReceipts = false;
    bool m_showAISelection = false;

    bool m_appeared = false;
    RefreshCoalescer* m_refresh = nullptr;
    bool m_sortDirty = true;
    bool m_quitDirty = true;
    bool m_canQuit = false;
    ApplicationLibraryLogic::SortedApplications m_sorted;
    QList<qsizetype> m_visible;
    // The search, filter and order the list was last given.
    struct ListChoice {
        QString search;
        LibraryFilter filter = LibraryFilter::all;
        LibrarySort sort = LibrarySort::name;
        friend bool operator==(const ListChoice&, const ListChoice&) = default;
    };
    ListChoice m_listedChoice;

    QTimer* m_runningTimer;
    LVButton* m_receiptsButton;
    LVButton* m_rescan;
    QLineEdit* m_searchField;
    QMenu* m_filterMenu;
    QMenu* m_sortMenu;
    QAbstractButton* m_filterButton;
    QAbstractButton* m_sortButton;
    QWidget* m_scanProgress;
    LVText* m_scanStatus;
    QWidget* m_banner;
    LVSelectableText* m_bannerText;
    LVPlainButton* m_bannerClose;
    LVText* m_count;
    LVPlainButton* m_selectVisible;
    LVPlainButton* m_clearTicks;
    LVPlainButton* m_toggleSelection;
    ApplicationListModel* m_rows;
    ApplicationListView* m_list;
    LVEmptyState* m_empty;
    QWidget* m_emptyBox;
    QWidget* m_selectionBar;
    LVText* m_selectionText;
    LVButton* m_adviceButton;
    ApplicationLibraryDetails* m_details;
    LVDisclosure* m_scope;
    LVText* m_scopeTime;
    QWidget* m_scopeIssues;
    QStringList m_shownIssues;

    QPointer<LibrarySheet> m_sheet;
    Sheet m_sheetKind = Sheet::none;
    QUuid m_sheetID;
};

} // namespace lunorvale
