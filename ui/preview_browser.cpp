#include "ui/preview_browser.h"

#include "platform/text_match.h"

namespace mailsift::ui {

PreviewBrowser::PreviewBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

bool PreviewBrowser::NavigationAllowed(const QUrl& address) const {
    if (allowedFolder_.isEmpty() || !address.isLocalFile()) return false;
    const QString path = address.toLocalFile();
    // A ".." would climb out of the folder the mask allows.
    if (path.contains(QStringLiteral("/../")) || path.endsWith(QStringLiteral("/.."))) {
        return false;
    }
    return MatchesMask(path.toStdString(), (allowedFolder_ + QStringLiteral("*")).toStdString());
}

QVariant PreviewBrowser::loadResource(int type, const QUrl& name) {
    // Images and style sheets a message names are never fetched, from anywhere: only the page
    // itself is shown.
    if (type != QTextDocument::HtmlResource || !NavigationAllowed(name)) {
        ++refusedLoads_;
        return {};
    }
    return QTextBrowser::loadResource(type, name);
}

void PreviewBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    if (!NavigationAllowed(name)) {
        ++refusedLoads_;
        return;
    }
    QTextBrowser::doSetSource(name, type);
}

}  // namespace mailsift::ui
