#pragma once
// The store viewer's preview: shows the preview file the viewer wrote and nothing else. Links
// inside a message lead nowhere, and nothing is loaded from the network or from any other file
// (remote images, style sheets, local files a message names).
#include <QTextBrowser>

namespace mailsift::ui {

class PreviewBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    explicit PreviewBrowser(QWidget* parent = nullptr);

    // The folder whose files may be shown; every other address is refused.
    void SetAllowedFolder(const QString& folder) { allowedFolder_ = folder; }
    // Whether address may be shown: a local file under the allowed folder.
    bool NavigationAllowed(const QUrl& address) const;
    // How many loads were refused since the browser was made.
    int RefusedLoads() const { return refusedLoads_; }

    QVariant loadResource(int type, const QUrl& name) override;

  protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

  private:
    QString allowedFolder_;
    int refusedLoads_ = 0;
};

}  // namespace mailsift::ui
