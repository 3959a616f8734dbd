#include "platform/update/UpdateFailureText.h"

#include "core/common/ErrorCause.h"

namespace lunorvale::UpdateFailureText {

QString network(QNetworkReply::NetworkError error) {
    using E = QNetworkReply::NetworkError;
    switch (error) {
    case E::ConnectionRefusedError:
        return QStringLiteral("更新服务器拒绝了连接。");
    case E::RemoteHostClosedError:
        return QStringLiteral("更新服务器意外断开了连接。");
    case E::HostNotFoundError:
        return QStringLiteral("找不到更新服务器，请检查网络连接。");
    case E::TimeoutError:
    case E::OperationCanceledError:
        return QStringLiteral("连接更新服务器超时。");
    case E::SslHandshakeFailedError:
        return QStringLiteral("无法与更新服务器建立安全连接，服务器的证书可能无效。");
    case E::TemporaryNetworkFailureError:
    case E::NetworkSessionFailedError:
    case E::BackgroundRequestNotAllowedError:
        return QStringLiteral("网络暂时不可用。");
    case E::TooManyRedirectsError:
    case E::InsecureRedirectError:
        return QStringLiteral("更新服务器的转向无效。");
    case E::ProxyConnectionRefusedError:
    case E::ProxyConnectionClosedError:
    case E::ProxyNotFoundError:
    case E::ProxyTimeoutError:
    case E::ProxyAuthenticationRequiredError:
    case E::UnknownProxyError:
        return QStringLiteral("无法通过代理服务器连接更新服务器。");
    case E::ContentAccessDenied:
    case E::ContentOperationNotPermittedError:
    case E::ContentNotFoundError:
    case E::AuthenticationRequiredError:
    case E::ContentReSendError:
    case E::ContentConflictError:
    case E::ContentGoneError:
    case E::UnknownContentError:
    case E::InternalServerError:
    case E::OperationNotImplementedError:
    case E::ServiceUnavailableError:
    case E::UnknownServerError:
        return QStringLiteral("更新服务器拒绝了请求。");
    case E::ProtocolUnknownError:
    case E::ProtocolInvalidOperationError:
    case E::ProtocolFailure:
        return QStringLiteral("与更新服务器的通信出错。");
    case E::NoError:
    case E::UnknownNetworkError:
        break;
    }
    return QStringLiteral("网络连接出错（代码 %1）。").arg(static_cast<int>(error));
}

QString file(QFileDevice::FileError error) {
    switch (error) {
    case QFileDevice::ResourceError:
        return QStringLiteral("磁盘空间不足或系统资源不够。");
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有写入该位置的权限。");
    case QFileDevice::OpenError:
        return QStringLiteral("无法创建下载文件。");
    case QFileDevice::WriteError:
        return QStringLiteral("无法写入下载文件。");
    case QFileDevice::ReadError:
        return QStringLiteral("无法读取下载文件。");
    default:
        return QStringLiteral("文件操作失败（代码 %1）。").arg(static_cast<int>(error));
    }
}

QString system(int errorNumber) {
    return ErrorCause::sentence(errorNumber);
}

QString feed(QXmlStreamReader::Error error) {
    switch (error) {
    case QXmlStreamReader::PrematureEndOfDocumentError:
        return QStringLiteral("更新信息不完整。");
    case QXmlStreamReader::NotWellFormedError:
        return QStringLiteral("更新信息的格式不正确。");
    default:
        return QStringLiteral("更新信息的内容无法识别。");
    }
}

} // namespace lunorvale::UpdateFailureText
