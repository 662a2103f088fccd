#include "diagnostics/qt/BKDebugOutput.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFont>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextCursor>
#include <QVBoxLayout>
#include <atomic>
#include <string>

#include "gui/qt/GuiThread.h"
#include "ui/TextControl.h"

namespace {

bool g_registered = false;
// The object whose window is open: one window per process.
BKDebugOutput* g_openWindowOwner = nullptr;

constexpr int kInitialWidth = 500;
constexpr int kInitialHeight = 200;
constexpr uint16_t kClassAtom = 0xC0DE;

// Trace text is single-byte; lines are separated by CR LF, which the
// document keeps as one line break.
QString ToDisplayText(const std::string& text) {
    QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

// The text control the trace calls write to. Calls from other threads run
// on the GUI thread and wait for it. It outlives every window, so a trace
// call racing the window's closing finds no control and does nothing.
class DebugTextControl : public ui::TextControl {
  public:
    explicit DebugTextControl(QObject* dispatcher) : dispatcher_(dispatcher) {}

    // GUI thread only.
    void Attach(QPlainTextEdit* edit) {
        edit_ = edit;
        open_ = true;
    }
    void Detach() {
        open_ = false;
        edit_ = nullptr;
    }

    size_t Length() const override {
        size_t length = 0;
        if (open_) {
            RunOnOwnerThread(dispatcher_, [&] {
                if (edit_ != nullptr)
                    length = static_cast<size_t>(edit_->document()->characterCount() - 1);
            });
        }
        return length;
    }

    void AppendAtEnd(const char* text) override { Insert(text, false); }

    // The separator and the line in one visit to the GUI thread.
    void AppendLine(const char* text) override { Insert(text, true); }

    void Clear() override {
        if (!open_)
            return;
        RunOnOwnerThread(dispatcher_, [&] {
            if (edit_ != nullptr)
                edit_->clear();
        });
    }

  private:
    // Caret to the end, a line break first when asked (and the text is not
    // empty), the text, and the end kept in view.
    void Insert(const char* text, bool asNewLine) {
        if (!open_)
            return;
        const std::string copy = text != nullptr ? text : "";
        RunOnOwnerThread(dispatcher_, [&] {
            if (edit_ == nullptr)
                return;
            QTextCursor cursor(edit_->document());
            cursor.movePosition(QTextCursor::End);
            if (asNewLine && !edit_->document()->isEmpty())
                cursor.insertText(QStringLiteral("\n"));
            cursor.insertText(ToDisplayText(copy));
            edit_->setTextCursor(cursor);
            edit_->ensureCursorVisible();
        });
    }

    QObject* dispatcher_;
    std::atomic<bool> open_{false};
    QPlainTextEdit* edit_ = nullptr;
};

// The top-level window: a tool window owned by the parent, holding the
// text control across its whole client area.
class DebugOutputFrame : public QWidget {
  public:
    DebugOutputFrame(BKDebugOutput* owner, QWidget* parent)
        : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowCloseButtonHint),
          owner_(owner) {}
    ~DebugOutputFrame() override {
        if (owner_ != nullptr)
            owner_->Forget();
    }

    void Release() { owner_ = nullptr; }

    // One item, "Clear", built anew for every request.
    void ShowContextMenu(const QPoint& globalPosition, QPlainTextEdit* edit) {
        QMenu menu(this);
        QAction* clear = menu.addAction(QStringLiteral("Clear"));
        clear->setData(kDebugOutputClearCommand);
        QObject::connect(clear, &QAction::triggered, edit, &QPlainTextEdit::clear);
        menu.exec(globalPosition);
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        // Closing destroys the window: the handles are gone at once.
        event->accept();
        if (owner_ != nullptr)
            owner_->Forget();
        owner_ = nullptr;
        deleteLater();
    }

  private:
    BKDebugOutput* owner_;
};

namespace {

// Selectable and copyable, never editable: typed characters, Backspace,
// Delete, cut and paste change nothing. Right-click shows the frame's menu.
class DebugEdit : public QPlainTextEdit {
  public:
    explicit DebugEdit(DebugOutputFrame* frame) : QPlainTextEdit(frame), frame_(frame) {
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setLineWrapMode(QPlainTextEdit::WidgetWidth);  // long lines wrap
        setMaximumBlockCount(0);                       // no limit: nothing is trimmed
    }

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override {
        frame_->ShowContextMenu(event->globalPos(), this);
    }

  private:
    DebugOutputFrame* frame_;
};

void CentreOnDesktop(QWidget* window) {
    QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect desktop = screen->geometry();
    window->move(desktop.left() + desktop.width() / 2 - window->width() / 2,
                 desktop.top() + desktop.height() / 2 - window->height() / 2);
}

}  // namespace

uint16_t RegisterDebugOutputClass() {
    if (QApplication::instance() == nullptr)
        return 0;
    g_registered = true;
    return kClassAtom;
}

BKDebugOutput::BKDebugOutput() = default;

BKDebugOutput::~BKDebugOutput() {
    Destroy();
}

QWidget* BKDebugOutput::Create(QWidget* parent) {
    if (!g_registered || QApplication::instance() == nullptr)
        return nullptr;
    if (frame_ != nullptr)
        return frame_;
    if (g_openWindowOwner != nullptr)
        return nullptr;
    if (!dispatcher_) {
        dispatcher_ = std::make_unique<QObject>();
        control_ = std::make_unique<DebugTextControl>(dispatcher_.get());
        sink_.SetEditControl(control_.get());
    }

    auto* frame = new DebugOutputFrame(this, parent);
    frame->setWindowTitle(QStringLiteral("Debug Output"));
    auto* edit = new DebugEdit(frame);
    QFont font(QStringLiteral("Courier"));
    font.setPixelSize(14);
    font.setWeight(QFont::Thin);
    font.setStyleHint(QFont::TypeWriter);
    edit->setFont(font);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    frame->resize(kInitialWidth, kInitialHeight);
    CentreOnDesktop(frame);

    frame_ = frame;
    edit_ = edit;
    g_openWindowOwner = this;
    control_->Attach(edit);
    frame->show();
    return frame;
}

int BKDebugOutput::Show() {
    if (frame_ == nullptr)
        return 0;
    const bool wasVisible = frame_->isVisible();
    frame_->show();
    return wasVisible ? 1 : 0;
}

int BKDebugOutput::Hide() {
    if (frame_ == nullptr)
        return 0;
    const bool wasVisible = frame_->isVisible();
    frame_->hide();
    return wasVisible ? 1 : 0;
}

int BKDebugOutput::Destroy() {
    if (frame_ != nullptr) {
        auto* frame = static_cast<DebugOutputFrame*>(frame_);
        Forget();
        delete frame;
    }
    return 0;
}

void BKDebugOutput::Forget() {
    if (frame_ != nullptr)
        static_cast<DebugOutputFrame*>(frame_)->Release();
    if (control_)
        control_->Detach();
    frame_ = nullptr;
    edit_ = nullptr;
    if (g_openWindowOwner == this)
        g_openWindowOwner = nullptr;
}
