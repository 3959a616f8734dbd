#pragma once

#include <QWidget>

namespace lunorvale {

class AppModel;
class LVPlainButton;
class LVSelectableText;

// The latest operation's outcome under the bars, with a button that dismisses it. Takes no room while
// there is no message.
class OperationBanner final : public QWidget {
    Q_OBJECT
public:
    explicit OperationBanner(AppModel& model, QWidget* parent = nullptr);

    void refresh();
    LVSelectableText* messageText() const { return m_message; }
    LVPlainButton* closeButton() const { return m_close; }

private:
    AppModel& m_model;
    LVSelectableText* m_message;
    LVPlainButton* m_close;
};

} // namespace lunorvale
