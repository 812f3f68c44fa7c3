#include "ui/hidden_browser.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocumentFragment>

namespace mailsift::ui {

namespace {

// The text a browser would render for body: decoded by the charset the server names (UTF-8
// when it names none or one unknown here), markup removed from HTML, and every line break
// CR LF whatever the server sent.
QString DocumentText(const QByteArray& body, const QString& contentType) {
    static const QRegularExpression kCharset(QStringLiteral("charset\\s*=\\s*\"?([^\";\\s]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch charset = kCharset.match(contentType);
    const QByteArray name = charset.hasMatch() ? charset.captured(1).toLatin1() : "UTF-8";
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder.decode(body);
    if (contentType.contains(QStringLiteral("html"), Qt::CaseInsensitive)) {
        text = QTextDocumentFragment::fromHtml(text).toPlainText();
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

}  // namespace

bool HiddenBrowser::IsWebAddress(const QUrl& address) {
    return address.isValid() && !address.host().isEmpty() &&
           (address.scheme() == QStringLiteral("http") ||
            address.scheme() == QStringLiteral("https"));
}

HiddenBrowser::HiddenBrowser(BrowserLimits limits, QObject* parent)
    : QObject(parent), limits_(limits), network_(new QNetworkAccessManager(this)) {
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        Fail(QStringLiteral("no answer within %1 ms").arg(limits_.timeout.count()));
    });
}

HiddenBrowser::~HiddenBrowser() {
    DropReply();
}

void HiddenBrowser::Navigate(const QUrl& address, int flags) {
    if (beforeNavigate_ && !beforeNavigate_(address)) return;
    DropReply();
    flags_ = flags;
    redirects_ = 0;
    deadline_.start(limits_.timeout);
    Request(address);
}

void HiddenBrowser::Request(const QUrl& address) {
    address_ = address;
    if (!IsWebAddress(address)) {
        Fail(QStringLiteral("only http and https addresses are opened: ") +
             address.toDisplayString());
        return;
    }
    QNetworkRequest request(address);
    // Each redirect is a navigation of its own, counted and put to BeforeNavigate.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mailsift"));
    if (flags_ & NavNoReadFromCache) {
        // Caches between here and the server are asked not to answer either.
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setRawHeader("Cache-Control", "no-cache");
        request.setRawHeader("Pragma", "no-cache");
    }
    if (flags_ & NavNoWriteToCache) {
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    }
    // NavNoHistory needs nothing: this browser keeps no history at all.
    body_.clear();
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, &HiddenBrowser::ReadBody);
    connect(reply_, &QNetworkReply::finished, this, &HiddenBrowser::Finished);
}

void HiddenBrowser::ReadBody() {
    if (!reply_) return;
    body_ += reply_->read(limits_.bodyBytes + 1 - body_.size());
    if (body_.size() > limits_.bodyBytes) {
        Fail(QStringLiteral("the answer is larger than %1 bytes").arg(limits_.bodyBytes));
    }
}

void HiddenBrowser::Finished() {
    ReadBody();
    if (!reply_) return;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        Fail(reply_->errorString());
        return;
    }
    const QUrl redirect = reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status.toInt() / 100 == 3 && !redirect.isEmpty()) {
        const QUrl target = reply_->url().resolved(redirect);
        if (++redirects_ > limits_.redirects) {
            Fail(QStringLiteral("more than %1 redirects").arg(limits_.redirects));
            return;
        }
        DropReply();
        if (beforeNavigate_ && !beforeNavigate_(target)) {
            deadline_.stop();
            return;
        }
        Request(target);
        return;
    }
    location_ = reply_->url();
    const QString text =
        DocumentText(body_, reply_->header(QNetworkRequest::ContentTypeHeader).toString());
    DropReply();
    deadline_.stop();
    emit DocumentComplete(text);
}

void HiddenBrowser::Fail(const QString& reason) {
    DropReply();
    deadline_.stop();
    emit NavigationFailed(address_, reason);
}

void HiddenBrowser::DropReply() {
    if (!reply_) return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

}  // namespace mailsift::ui
