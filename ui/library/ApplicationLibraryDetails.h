#pragma once

#include "core/applications/InstalledApplication.h"
#include "ui/library/ApplicationLibraryLogic.h"

#include <QWidget>
#include <functional>
#include <optional>

class QScrollArea;

namespace lunorvale {

class ApplicationIconLoader;
class ApplicationLibraryModel;
class BusyIndicator;
class LVButton;
class LVLabel;
class LVPlainButton;
class LVSelectableText;
class LVText;

// The library page's detail column: the selected application's details and guidance, the AI advice
// section, and under them, outside the scroll area, the removal actions. Made once; `refresh` updates
// every part in place from the model.
class ApplicationLibraryDetails final : public QWidget {
    Q_OBJECT
public:
    // What the column asks of its page; each is called on a button's click.
    struct Actions {
        std::function<void(const InstalledApplication&)> requestQuit; // the quit alert
        std::function<void(const InstalledApplication&)> reveal;      // "在文件管理器中显示"
        std::function<void()> openLoginItems;
        std::function<void()> openUninstallGuide;
    };

    ApplicationLibraryDetails(ApplicationLibraryModel& library, ApplicationIconLoader* icons, Actions actions,
                              QWidget* parent = nullptr);

    // `selected` is the selected application when it is listed; `canQuit` whether its quit may be offered.
    void refresh(const std::optional<InstalledApplication>& selected, bool showAISelection, bool canQuit);

    // Parts, for tests.
    QWidget* detailsBlock() const { return m_details; }
    QWidget* footer() const { return m_footer; }
    LVSelectableText* nameText() const;
    LVText* guidanceTitle() const { return m_guidanceTitle; }
    LVButton* openButton() const { return m_open; }
    LVText* progressText() const { return m_progressText; }
    LVButton* cancelCheckButton() const { return m_cancelCheck; }
    QWidget* quitWait() const { return m_quitWait; }
    LVButton* stopWaitingButton() const { return m_stopWaiting; }
    LVButton* quitButton() const { return m_quit; }
    LVButton* removeButton() const { return m_remove; }
    LVText* receiptNote() const { return m_receiptNote; }
    LVSelectableText* reply() const { return m_reply; }
    LVText* adviceError() const { return m_adviceError; }
    QWidget* adviceProgress() const { return m_adviceProgress; }

private:
    void buildDetails();
    void buildAdvice();
    void buildFooter();
    void refreshDetails(const InstalledApplication& application);
    void refreshAdvice(const ApplicationLibraryLogic::AdviceRows& rows);
    void refreshActions(const InstalledApplication& application, bool canQuit);
    // The column's scroll position: set by the column itself, or left alone once the user scrolled.
    void scrollTo(int value);
    void showAdvice();
    void keepFocusInFooter(QWidget* focused);

    ApplicationLibraryModel& m_library;
    ApplicationIconLoader* m_icons;
    Actions m_actions;
    std::optional<InstalledApplication> m_selected;

    QScrollArea* m_scroll;
    bool m_scrolling = false;    // the column is moving its own scroll bar
    bool m_followAdvice = false; // the advice section stays in view through layout passes
    ApplicationLibraryLogic::AdviceRows m_shownAdvice;
    LVText* m_placeholder;
    QWidget* m_details;
    class Header;
    Header* m_header;
    LVText* m_size;
    LVSelectableText* m_version;
    LVSelectableText* m_path;
    LVButton* m_open;
    LVButton* m_reveal;
    LVText* m_guidanceTitle;
    LVText* m_guidanceReason;
    LVText* m_guidanceNext;
    LVSelectableText* m_relatedPath;
    LVButton* m_revealRelated;
    LVButton* m_loginItems;
    LVPlainButton* m_guide;

    QWidget* m_advice;
    QWidget* m_adviceProgress;
    BusyIndicator* m_adviceSpinner;
    LVButton* m_cancelAdvice;
    LVText* m_adviceError;
    LVText* m_snapshot;
    LVSelectableText* m_reply;
    LVText* m_caution;
    LVText* m_adviceHint;

    QWidget* m_footer;
    QWidget* m_progress;
    BusyIndicator* m_progressSpinner;
    LVText* m_progressText;
    LVButton* m_cancelCheck;
    QWidget* m_quitWait;
    BusyIndicator* m_quitSpinner;
    LVButton* m_stopWaiting;
    LVButton* m_quit;
    LVButton* m_remove;
    LVText* m_receiptNote;
};

} // namespace lunorvale
