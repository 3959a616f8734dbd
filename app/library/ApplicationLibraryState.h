#pragma once

#include "core/ai/ApplicationAdviceSummary.h"
#include "core/applications/InstalledApplication.h"

#include <QList>
#include <QString>

namespace lunorvale {

// What the shell and the screenshot scenes read of the application library: whether a removal is
// running (quitting waits for it), the listed applications, and the checked ones as the library's
// own advice request would send them.
class ApplicationLibraryState {
public:
    virtual ~ApplicationLibraryState() = default;

    // A removal is moving a bundle to the Trash and writing its receipt.
    virtual bool removing() const = 0;
    virtual QList<InstalledApplication> applications() const = 0;
    virtual QList<ApplicationAdviceItem> adviceItems() const = 0;
    // Preview only: the library's state for a screenshot page.
    virtual void configurePreview(const QString& page) = 0;
};

// The library as far as the shell needs it before the library page exists: never removing, and in
// preview mode a few fictional applications, two of them checked for advice.
class PreviewApplicationLibrary final : public ApplicationLibraryState {
public:
    explicit PreviewApplicationLibrary(bool preview);

    bool removing() const override { return false; }
    QList<InstalledApplication> applications() const override { return m_applications; }
    QList<ApplicationAdviceItem> adviceItems() const override;
    void configurePreview(const QString& page) override;

private:
    bool m_preview;
    QList<InstalledApplication> m_applications;
};

} // namespace lunorvale
