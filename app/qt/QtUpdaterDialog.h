// The updater dialog on Qt Widgets: builds the template's controls, stands
// in for the dialog window and the completion-message receiver, and
// forwards every event to the dialog logic. It decides nothing itself.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/logic/UpdaterDialogLogic.h"
#include "app/qt/QtProgressBar.h"

class QLabel;
class QProgressBar;

class QtUpdaterDialog : public QDialog, public ui::DialogWindow, public ui::MessageWindow {
  public:
    // Seams for the open-file dialog and the message boxes; tests answer
    // them instead of a person.
    using FileChooser = std::function<bool(const std::string& title, const ui::FileFilter& filter,
                                           std::string* path)>;
    using BoxPresenter =
        std::function<void(const std::string& text, const std::string& caption, unsigned icon)>;

    QtUpdaterDialog(UpdaterState& state, UpdaterDialogLogic::ThreadStarter startThread);
    ~QtUpdaterDialog() override;

    // Shows the dialog modally; when it ends, the port is closed.
    int Run();
    // A package to select as Browse would once the dialog is up.
    void PreselectPackage(const std::string& path) { preselected_ = path; }

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    void SetBoxPresenter(BoxPresenter presenter) { presenter_ = std::move(presenter); }
    // Tests answer the dialog's questions here instead of in a modal box.
    using QuestionPresenter = std::function<bool(const std::string&, const std::string&)>;
    void SetQuestionPresenter(QuestionPresenter presenter) {
        questionPresenter_ = std::move(presenter);
    }
    QWidget* Control(int controlId) const;
    UpdaterDialogLogic& Logic() { return *logic_; }

    // ui::DialogWindow
    void EnableControl(int controlId, bool enable) override;
    bool IsControlEnabled(int controlId) const override;
    void SetControlText(int controlId, const std::string& text) override;
    std::string ControlText(int controlId) const override;
    void ShowMessageBox(const std::string& text, const std::string& caption,
                        unsigned icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void Post(unsigned message) override;
    void CenterOnScreen() override;
    bool ChooseOpenFile(const std::string& title, const ui::FileFilter& filter,
                        const std::string& defaultExtension, std::string* path) override;
    void EndDialog(int result) override;
    int ChooseFromList(const std::string& title, const std::string& prompt,
                       const std::vector<std::string>& entries) override;
    void FocusControl(int controlId) override;
    void SetTicking(bool on) override;

    // Escape: during an update, the dialog closes after it.
    void reject() override;

    // ui::MessageWindow: from the worker; waits until handled.
    intptr_t Send(unsigned message, uintptr_t wParam, intptr_t lParam) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();

    std::map<int, QWidget*> controls_;
    std::map<int, QLabel*> captions_;  // by the control each names
    QTimer ticker_;
    std::unique_ptr<QtProgressBar> progress_;
    std::unique_ptr<UpdaterDialogLogic> logic_;
    FileChooser chooser_;
    BoxPresenter presenter_;
    QuestionPresenter questionPresenter_;
    bool initialised_ = false;
    std::string preselected_;
};
