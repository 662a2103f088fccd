#include "app/qt/QtUpdaterDialog.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

#include "app/logic/DialogTemplate.h"
#include "app/qt/DialogUnits.h"
#include "gui/qt/GuiThread.h"

namespace {

Qt::Alignment AlignmentOf(TextAlign align) {
    switch (align) {
        case TextAlign::Center:
            return Qt::AlignHCenter | Qt::AlignTop;
        case TextAlign::CenterBoth:
            return Qt::AlignCenter;
        case TextAlign::Right:
            return Qt::AlignRight | Qt::AlignTop;
        case TextAlign::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(text, parent);
            button->setDefault(c.kind == ControlKind::DefaultPushButton);
            button->setAutoDefault(false);
            return button;
        }
        case ControlKind::PathField:
            return new QLineEdit(text, parent);
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
        case ControlKind::GroupBox: {
            auto* group = new QGroupBox(text, parent);
            group->setAlignment(Qt::AlignHCenter);
            return group;
        }
        case ControlKind::Label:
        case ControlKind::FramedLabel: {
            auto* label = new QLabel(text, parent);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(c.wraps);
            label->setAlignment(AlignmentOf(c.align));
            if (c.kind == ControlKind::FramedLabel) {
                label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                // A framed QLabel indents its text from the edges it is
                // aligned to by half an 'x'; a Windows static control does
                // not, and the top-aligned field would lose its descenders.
                label->setIndent(0);
            }
            return label;
        }
    }
    return nullptr;
}

}  // namespace

QtUpdaterDialog::QtUpdaterDialog(UpdaterState& state,
                                 UpdaterDialogLogic::ThreadStarter startThread) {
    setWindowTitle(QString::fromUtf8(kDialogCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    BuildControls();
    progress_ =
        std::make_unique<QtProgressBar>(static_cast<QProgressBar*>(Control(kControlProgress)));
    logic_ = std::make_unique<UpdaterDialogLogic>(state, *this, progress_.get(), this,
                                                  std::move(startThread));
}

QtUpdaterDialog::~QtUpdaterDialog() = default;

void QtUpdaterDialog::BuildControls() {
    const DialogBaseUnits units = BaseUnitsOf(font());
    setFixedSize(DluToPixelsX(kDialogWidthDlu, units.x), DluToPixelsY(kDialogHeightDlu, units.y));
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& c : kDialogControls) {
        QWidget* widget = MakeControl(c, this);
        widget->setGeometry(DluToPixelsX(c.x, units.x), DluToPixelsY(c.y, units.y),
                            DluToPixelsX(c.width, units.x), DluToPixelsY(c.height, units.y));
        if (c.kind == ControlKind::GroupBox)
            widget->lower();
        widget->setFocusPolicy(c.tabStop ? Qt::StrongFocus : Qt::NoFocus);
        if (c.tabStop) {
            if (previousTabStop != nullptr)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        if (c.accessibleName != nullptr)
            widget->setAccessibleName(QString::fromUtf8(c.accessibleName));
        if (c.captionOf != 0)
            captions_[c.captionOf] = static_cast<QLabel*>(widget);
        if (c.id > 0) {
            controls_[c.id] = widget;
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                const int id = c.id;
                connect(button, &QPushButton::clicked, this, [this, id] { logic_->OnCommand(id); });
            }
        }
    }
    // A caption names its control for screen readers and gives its
    // mnemonic (Alt+I) to it.
    for (const auto& [id, caption] : captions_)
        caption->setBuddy(Control(id));
    Control(kControlUpdate)->setEnabled(false);

    auto* field = static_cast<QLineEdit*>(Control(kControlImageFile));
    connect(field, &QLineEdit::textEdited, this, [this] { logic_->OnImageFileEdited(); });
    // Enter in the field checks the path; it must not reach the default
    // button and start an update.
    field->installEventFilter(this);
    ticker_.setInterval(250);
    connect(&ticker_, &QTimer::timeout, this, [this] { logic_->OnTick(); });
}

bool QtUpdaterDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Control(kControlImageFile) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            logic_->OnImageFileEntered();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QWidget* QtUpdaterDialog::Control(int controlId) const {
    auto it = controls_.find(controlId);
    return it == controls_.end() ? nullptr : it->second;
}

int QtUpdaterDialog::Run() {
    const int result = exec();
    logic_->OnDestroy();
    return result;
}

void QtUpdaterDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        logic_->OnInitDialog();
        if (!preselected_.empty())
            logic_->SelectPackage(preselected_);
    }
}

void QtUpdaterDialog::closeEvent(QCloseEvent* event) {
    // The logic ends the dialog itself when closing is allowed.
    event->ignore();
    logic_->OnCloseRequested();
}

void QtUpdaterDialog::reject() {
    logic_->OnCloseRequested();
}

void QtUpdaterDialog::EnableControl(int controlId, bool enable) {
    if (QWidget* w = Control(controlId))
        w->setEnabled(enable);
}

bool QtUpdaterDialog::IsControlEnabled(int controlId) const {
    QWidget* w = Control(controlId);
    return w != nullptr && w->isEnabled();
}

void QtUpdaterDialog::SetControlText(int controlId, const std::string& text) {
    QWidget* w = Control(controlId);
    const QString value = QString::fromLocal8Bit(text.c_str());
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(value);
        // Detection keeps this thread busy right after "Searching for HW...":
        // paint now so that the text is seen.
        if (label->isVisible())
            label->repaint();
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(value);
    } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
        field->setText(value);
    }
}

std::string QtUpdaterDialog::ControlText(int controlId) const {
    QWidget* w = Control(controlId);
    QString value;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        value = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        value = button->text();
    } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
        value = field->text();
    }
    return value.toLocal8Bit().toStdString();
}

void QtUpdaterDialog::ShowMessageBox(const std::string& text, const std::string& caption,
                                     unsigned icon) {
    if (presenter_) {
        presenter_(text, caption, icon);
        return;
    }
    const QMessageBox::Icon qtIcon = icon == ui::kIconError         ? QMessageBox::Critical
                                     : icon == ui::kIconWarning     ? QMessageBox::Warning
                                     : icon == ui::kIconInformation ? QMessageBox::Information
                                                                    : QMessageBox::NoIcon;
    QMessageBox box(qtIcon, QString::fromLocal8Bit(caption.c_str()),
                    QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok, this);
    box.exec();
}

bool QtUpdaterDialog::AskYesNo(const std::string& text, const std::string& caption) {
    if (questionPresenter_)
        return questionPresenter_(text, caption);
    // A test that shows no boxes gets no modal question either: No.
    if (presenter_) {
        presenter_(text, caption, 0);
        return false;
    }
    QMessageBox box(QMessageBox::Question, QString::fromLocal8Bit(caption.c_str()),
                    QString::fromLocal8Bit(text.c_str()), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtUpdaterDialog::Post(unsigned message) {
    QMetaObject::invokeMethod(
        this, [this, message] { logic_->OnMessage(message, 0, 0); }, Qt::QueuedConnection);
}

void QtUpdaterDialog::CenterOnScreen() {
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect desktop = screen->geometry();
    const QRect frame = frameGeometry();
    move(desktop.left() + desktop.width() / 2 - frame.width() / 2,
         desktop.top() + desktop.height() / 2 - frame.height() / 2);
}

bool QtUpdaterDialog::ChooseOpenFile(const std::string& title, const ui::FileFilter& filter,
                                     const std::string&, std::string* path) {
    if (chooser_)
        return chooser_(title, filter, path);
    QStringList filters;
    for (const auto& [description, pattern] : filter)
        filters << QString::fromLocal8Bit(description.c_str());
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString::fromLocal8Bit(title.c_str()), QString(), filters.join(QStringLiteral(";;")));
    if (chosen.isEmpty())
        return false;
    *path = chosen.toLocal8Bit().toStdString();
    return true;
}

void QtUpdaterDialog::EndDialog(int result) {
    done(result);
}

int QtUpdaterDialog::ChooseFromList(const std::string& title, const std::string& prompt,
                                    const std::vector<std::string>& entries) {
    QStringList items;
    for (const std::string& entry : entries)
        items << QString::fromUtf8(entry.c_str());
    bool ok = false;
    const QString picked =
        QInputDialog::getItem(this, QString::fromUtf8(title.c_str()),
                              QString::fromUtf8(prompt.c_str()), items, 0, false, &ok);
    return ok ? static_cast<int>(items.indexOf(picked)) : -1;
}

void QtUpdaterDialog::FocusControl(int controlId) {
    if (QWidget* w = Control(controlId))
        w->setFocus(Qt::OtherFocusReason);
}

void QtUpdaterDialog::SetTicking(bool on) {
    if (on)
        ticker_.start();
    else
        ticker_.stop();
}

intptr_t QtUpdaterDialog::Send(unsigned message, uintptr_t wParam, intptr_t lParam) {
    RunOnOwnerThread(this, [=, this] { logic_->OnMessage(message, wParam, lParam); });
    return 0;
}
