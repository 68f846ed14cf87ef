#include "serial/networkportname.h"

#include <QUrl>

namespace {

const QLatin1String Rfc2217Prefix("rfc2217://");
const QLatin1String SocketPrefix("socket://");

} // namespace

bool NetworkPortName::isNetworkName(const QString &name)
{
    return name.startsWith(Rfc2217Prefix, Qt::CaseInsensitive) ||
           name.startsWith(SocketPrefix, Qt::CaseInsensitive);
}

std::optional<NetworkPortName> NetworkPortName::parse(const QString &name)
{
    if (!isNetworkName(name))
        return std::nullopt;
    const QUrl url(name, QUrl::StrictMode);
    const int port = url.port();
    const bool bare =
        url.path().isEmpty() && !url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty();
    if (!url.isValid() || url.host().isEmpty() || port <= 0 || !bare)
        return std::nullopt;
    const Scheme scheme =
        name.startsWith(Rfc2217Prefix, Qt::CaseInsensitive) ? Scheme::Rfc2217 : Scheme::RawSocket;
    return NetworkPortName{scheme, url.host(), quint16(port)};
}
