// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/about_box.h"

#include "core/app_info.h"
#include "shell/fonts.h"
#include "shell/icons.h"
#include "shell/system_info.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace corvane {

QSize SunkenLabel::sizeHint() const {
    return QLabel::sizeHint() + QSize(2, 2);
}

void SunkenLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    const QRect r = contentsRect().adjusted(0, 0, -1, -1);
    // Light edge below and to the right, the text in shadow on top of it.
    p.setPen(Qt::white);
    p.drawText(r.translated(1, 1), static_cast<int>(alignment()), text());
    p.setPen(QColor(0x50, 0x50, 0x50));
    p.drawText(r, static_cast<int>(alignment()), text());
}

TAbout::TAbout(const QString& applicationTitle, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Info..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(sansFont(8));
    setWindowIcon(appIcon());

    ProgramIcon = new QLabel(this);
    ProgramIcon->setPixmap(appIcon().pixmap(48, 48));
    ProgramIcon->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    ProductName = new SunkenLabel(applicationTitle, this);
    ProductName->setFont(sansFont(16, true));

    Description = new QLabel(
        QStringLiteral("Device programmer for AT89C5130A and AT89C5131 (A)\nwith USB Bootloader"), this);
    auto* details =
        new QLabel(QStringLiteral("Version %1\n"
                                  "Reads, erases and writes FLASH, EEPROM and the configuration "
                                  "bytes\nover USB (DFU class requests); loads and saves Intel HEX "
                                  "and binary files.")
                       .arg(versionText()),
                   this);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    MemoryValue = new QLabel(availableMemoryText(), this);
    PlatformValue = new QLabel(platformCpuText(), this);
    auto* system = new QGridLayout;
    system->setHorizontalSpacing(8);
    system->addWidget(new QLabel(QStringLiteral("Available Memory:"), this), 0, 0);
    system->addWidget(MemoryValue, 0, 1);
    system->addWidget(new QLabel(QStringLiteral("Platform, CPU:"), this), 1, 0);
    system->addWidget(PlatformValue, 1, 1);
    system->setColumnStretch(1, 1);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    OKButton->setFixedSize(75, 25);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->setSpacing(6);
    text->addWidget(ProductName);
    text->addWidget(Description);
    text->addWidget(details);
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(ProgramIcon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(12, 12, 12, 10);
    root->setSpacing(10);
    root->addLayout(top);
    root->addWidget(separator);
    root->addLayout(system);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace corvane
