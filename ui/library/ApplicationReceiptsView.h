#pragma once

#include "core/applications/ApplicationRemovalLog.h"
#include "ui/library/LibraryParts.h"

#include <QList>
#include <functional>

class QScrollArea;

namespace lunorvale {

class ApplicationLibraryModel;
class LVButton;
class LVText;

// The receipts of earlier removals, newest first, with their locations to reveal; an unreadable receipts
// file replaces the list with a way to find and re-read it. Everything it shows and does goes through
// the library model; clearing asks first, and only the alert's destructive button clears.
class ApplicationReceiptsView final : public LibrarySheetContent {
    Q_OBJECT
public:
    // An empty confirmer asks with a window-modal message box.
    ApplicationReceiptsView(ApplicationLibraryModel& library, std::function<void()> close,
                            LibraryConfirmer confirm = {}, QWidget* parent = nullptr);

    LVButton* clearButton() const { return m_clear; }
    LVButton* doneButton() const { return m_done; }
    LVButton* rereadButton() const { return m_reread; }
    // Why the last reveal failed, above the list.
    LVText* actionMessage() const { return m_actionMessage; }
    // The shown cards, in order; each holds its two buttons, "查看原位置" then "定位回收站项目".
    const QList<QWidget*>& cards() const { return m_cards; }

private:
    void refresh();
    void rebuildCards();
    void askToClear();

    ApplicationLibraryModel& m_library;
    LibraryConfirmer m_confirm;
    LVText* m_actionMessage;
    QWidget* m_unreadable;
    LVText* m_unreadableText;
    QWidget* m_empty;
    QWidget* m_list;
    QScrollArea* m_scroll;
    LVButton* m_revealLog;
    LVButton* m_reread;
    LVButton* m_clear;
    LVButton* m_done;
    QList<QWidget*> m_cards;
    QList<ApplicationRemovalReceipt> m_shownReceipts;
};

} // namespace lunorvale
