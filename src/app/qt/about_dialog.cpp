#include "app/qt/about_dialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QUrl>
#include <QVBoxLayout>
#include <optional>

#include "menubar/qt/router_menu_bar_graph.h"
#include "menubar/strings.h"
#include "platform/qt/qt_conversions.h"
#include "pulsewell_version.h"

namespace pulsewell {

namespace {

constexpr int iconSize = 64;

QLabel* centredLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignHCenter);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(toQString(Strings::about()));
  setAttribute(Qt::WA_QuitOnClose, false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 24, 16);
  layout->setSpacing(8);

  auto* icon = centredLabel("aboutIcon", this);
  const double ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
  icon->setPixmap(QPixmap::fromImage(RouterMenuBarGraph::routerSymbol(iconSize, ratio, true)));
  layout->addWidget(icon);

  auto* name = centredLabel("aboutName", this);
  name->setText(QStringLiteral("Pulsewell"));
  QFont nameFont = name->font();
  nameFont.setBold(true);
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.3);
  name->setFont(nameFont);
  layout->addWidget(name);

  auto* versionLabel = centredLabel("aboutVersion", this);
  versionLabel->setText(QStringLiteral("Version ") + QString::fromLatin1(version));
  layout->addWidget(versionLabel);

  auto* contact = centredLabel("aboutContact", this);
  contact->setTextFormat(Qt::RichText);
  contact->setText(contactLine());
  contact->setOpenExternalLinks(true);
  contact->setTextInteractionFlags(Qt::TextBrowserInteraction);
  QFont small = contact->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  contact->setFont(small);
  layout->addWidget(contact);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->setCenterButtons(true);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString AboutDialog::contactLine() {
  const QString credits = toQString(Strings::text("Contact: ", "Kontakt: "));
  const QString address = QString::fromLatin1(contactAddress);
  const QUrl link(QStringLiteral("mailto:") + address);
  if (!link.isValid()) return credits.toHtmlEscaped() + address.toHtmlEscaped();
  return credits.toHtmlEscaped() +
         QStringLiteral("<a href=\"%1\">%2</a>")
             .arg(link.toString(QUrl::FullyEncoded).toHtmlEscaped(), address.toHtmlEscaped());
}

}  // namespace pulsewell
