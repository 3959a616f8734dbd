#pragma once

#include <QList>
#include <QWidget>
#include <functional>

namespace lunorvale {

class LVButton;
class LVSelectableText;
class LVText;

// The privacy statement: what the program reads, keeps, sends and leaves to the user, in five fixed
// sections that scroll between a fixed header and footer. "完成" or Return closes it: through
// `dismiss` when one is given, else by closing the window (or accepting the sheet) it is in.
class PrivacyView final : public QWidget {
    Q_OBJECT
public:
    explicit PrivacyView(std::function<void()> dismiss = {}, QWidget* parent = nullptr);

    static constexpr QSize sheetSize{700, 680};

    const QList<LVText*>& sectionTitles() const { return m_titles; }
    const QList<LVSelectableText*>& sectionTexts() const { return m_texts; }
    LVText* footer() const { return m_footer; }
    LVButton* doneButton() const { return m_done; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finish();

    std::function<void()> m_dismiss;
    QList<LVText*> m_titles;
    QList<LVSelectableText*> m_texts;
    LVText* m_footer;
    LVButton* m_done;
};

} // namespace lunorvale
