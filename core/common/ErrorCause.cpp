#include "core/common/ErrorCause.h"

#include "platform/files/CheckedFiles.h"

#include <cerrno>

namespace lunorvale::ErrorCause {

QString withCause(const QString& what, int errorNumber) {
    return errorNumber == 0 ? what : what + sentence(errorNumber);
}

QString sentence(int errorNumber) {
    switch (errorNumber) {
    case EPERM:
    case EACCES:
        return QStringLiteral("没有足够的权限。");
    case EROFS:
        return QStringLiteral("该位置只读。");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足。");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在。");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹。");
    case EISDIR:
        return QStringLiteral("该位置是一个文件夹。");
    case EEXIST:
        return QStringLiteral("同名的项目已存在。");
    case ENOTEMPTY:
        return QStringLiteral("文件夹不是空的。");
    case ENAMETOOLONG:
        return QStringLiteral("名称或路径过长。");
    case ELOOP:
        return QStringLiteral("路径中的链接过多或形成了循环。");
    case EXDEV:
        return QStringLiteral("不能在不同的磁盘之间直接移动。");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("该项目正在使用中。");
    case EIO:
        return QStringLiteral("读写磁盘时出错。");
    case EFBIG:
        return QStringLiteral("文件过大。");
    case ESTALE:
        return QStringLiteral("网络磁盘上的文件已失效。");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("所需的设备不可用。");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("同时打开的文件过多。");
    case ENOMEM:
        return QStringLiteral("内存不足。");
    case EAGAIN:
        return QStringLiteral("系统资源暂时不足，请稍后重试。");
    case EINTR:
        return QStringLiteral("操作被中断，请重试。");
    case ETIMEDOUT:
        return QStringLiteral("操作超时。");
    case ESRCH:
        return QStringLiteral("进程已不存在。");
    case EINVAL:
        return QStringLiteral("系统不接受这个请求。");
    case ENOSYS:
    case EOPNOTSUPP:
        return QStringLiteral("系统不支持这项操作。");
    default:
        return QStringLiteral("系统报告了错误（代码 %1）。").arg(errorNumber);
    }
}

QString sentence(FileRefusal refusal) {
    switch (refusal) {
    case FileRefusal::link:
        return QStringLiteral("路径中有一项是链接。");
    case FileRefusal::notRegularFile:
        break;
    }
    return QStringLiteral("该位置不是普通文件。");
}

} // namespace lunorvale::ErrorCause
