#include "ui/library/ApplicationRemovalConfirmation.h"

#include "core/common/SafeText.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVButton.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/library/ApplicationLibraryLogic.h"

#include <QBoxLayout>

namespace lunorvale {

ApplicationRemovalConfirmation::ApplicationRemovalConfirmation(const InstalledApplication& application,
                                                               std::function<void()> onCancel,
                                                               std::function<void()> onConfirm,
                                                               QWidget* parent)
    : LibrarySheetContent(QSize(530, 0), 28, 20, onCancel, parent) {
    QBoxLayout* column = this->column();
    column->addWidget(new SectionHeading(QStringLiteral("将这个程序移到回收站？"),
                                         ApplicationLibraryLogic::removalSubtitle(application),
                                         LVSymbol("trash")));
    column->addWidget(
        new LVSelectableText(SafeText::verbatim(application.id()), Fonts::system(12), Palette::ink));

    auto* explanation = new LVText(
        QStringLiteral(
            "上面的应用包会整体移到回收站，包里的文件也会一起移动。如果你曾把资料存进应用包，请先备份。"
            "程序包外的资料、缓存、偏好和共享组件保留。\n\n请先保存工作并退出应用。岚栖不会强制结束进"
            "程，也不会清空回收站。移除后可在操作清单中查看原位置，再到文件管理器中尝试放回。\n\n移到回收站不"
            "等于立刻释放空间，也不代表完成深度卸载。"),
        Fonts::system(13), Palette::muted);
    explanation->setLineSpacing(5);
    column->addWidget(explanation);
    if (ApplicationLibraryLogic::showsLoginItemNote(application.management().kind)) {
        column->addWidget(
            new LVText(QStringLiteral("包内登录助手会随程序一起移动。执行前还会复查签名和退出状态；"
                                      "岚栖不会代为修改第三方的自动启动设置。"),
                       Fonts::system(12), Palette::muted));
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancel = new LVButton(LVButtonKind::secondary, QStringLiteral("取消"));
    m_confirm = new LVButton(LVButtonKind::danger, QStringLiteral("移到回收站"));
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    column->addLayout(buttons);
    connect(m_cancel, &LVButton::clicked, this, &ApplicationRemovalConfirmation::cancel);
    connect(m_confirm, &LVButton::clicked, this, [onConfirm = std::move(onConfirm)] {
        if (onConfirm)
            onConfirm();
    });
}

} // namespace lunorvale
