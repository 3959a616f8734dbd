#include "app/library/ApplicationLibraryErrors.h"

#include "core/applications/ApplicationRemovalLog.h"
#include "core/common/CancellationToken.h"
#include "core/common/ErrorCause.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/PropertyList.h"

#include <system_error>

namespace lunorvale {

bool isCancellation(const std::exception_ptr& error) {
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
        return false;
    }
}

ApplicationFailure describeFailure(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const ApplicationManagementError& failure) {
        return {failure.errorDescription(), failure.guidanceValue()};
    } catch (const FileWriteError& failure) {
        // Only the receipt log is written on the way to a removal.
        return {ApplicationRemovalLog::notSavedSentence(failure.errorNumber()), std::nullopt};
    } catch (const RemovalLogFormatError& failure) {
        return {failure.errorDescription(), std::nullopt};
    } catch (const RemovalLogReadError& failure) {
        return {failure.errorDescription(), std::nullopt};
    } catch (const PropertyListError& failure) {
        return {failure.errorDescription(), std::nullopt};
    } catch (const std::system_error& failure) {
        return {QStringLiteral("无法读取应用文件：") + ErrorCause::sentence(failure.code().value()),
                std::nullopt};
    } catch (...) {
    }
    return {QStringLiteral("未能完成该操作。"), std::nullopt};
}

} // namespace lunorvale
