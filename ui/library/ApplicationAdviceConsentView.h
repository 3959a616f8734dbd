#pragma once

#include "ui/library/ApplicationLibraryLogic.h"
#include "ui/library/LibraryParts.h"

#include <functional>

namespace lunorvale {

class LVButton;
class LVDisclosure;

// Stands between ticking applications and sending them: the receiver, every field of every application
// put into words, the raw text itself and what is not sent. It decides nothing: "返回选择" (Escape) and
// "确认发送并分析" (no key; off in preview) call the host, which closes it.
class ApplicationAdviceConsentView final : public LibrarySheetContent {
    Q_OBJECT
public:
    ApplicationAdviceConsentView(const ApplicationAdviceConsent& consent, bool preview,
                                 std::function<void()> onCancel, std::function<void()> onConfirm,
                                 QWidget* parent = nullptr);

    LVButton* cancelButton() const { return m_cancel; }
    LVButton* confirmButton() const { return m_confirm; }
    int cardCount() const { return m_cardCount; }

private:
    LVButton* m_cancel;
    LVButton* m_confirm;
    LVDisclosure* m_raw;
    int m_cardCount = 0;
};

} // namespace lunorvale
