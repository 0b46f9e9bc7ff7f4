#include "app/gui/qt_ui.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <string_view>
#include <utility>

namespace tarnvik::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Runs f on the GUI thread and returns its result; from another thread the caller waits.
template <class F>
auto OnGuiThread(F f) -> decltype(f()) {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application || QThread::currentThread() == application->thread()) return f();
  decltype(f()) result{};
  QMetaObject::invokeMethod(application, [&] { result = f(); }, Qt::BlockingQueuedConnection);
  return result;
}

QMessageBox::Icon BoxIcon(core::Icon icon) {
  switch (icon) {
    case core::Icon::Information: return QMessageBox::Information;
    case core::Icon::Warning: return QMessageBox::Warning;
    case core::Icon::Error: return QMessageBox::Critical;
    case core::Icon::Question: return QMessageBox::Question;
    case core::Icon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

std::string QtNameFilter(const core::FileFilter& filter) {
  std::string_view name = filter.description;
  // The description carries its own "(*.ext)"; the patterns replace it so that every one
  // (upper-case extensions too) is offered.
  if (size_t open = name.rfind(" ("); open != std::string_view::npos && name.back() == ')') name = name.substr(0, open);
  std::string result(name);
  result += " (";
  if (filter.patterns.empty()) result += '*';
  for (char c : filter.patterns) result += c == ';' ? ' ' : c;
  result += ')';
  return result;
}

core::Answer QtUi::Box(const MessageBoxCall& call) {
  if (answerBox) {
    std::optional<core::Answer> answer = answerBox(call);
    return answer ? *answer : call.defaultAnswer;
  }
  QMessageBox box(BoxIcon(call.icon), Q(call.caption), Q(call.text), QMessageBox::NoButton, parent_);
  std::vector<std::pair<QAbstractButton*, core::Answer>> answers;
  auto add = [&](QMessageBox::StandardButton standard, core::Answer answer) {
    answers.emplace_back(box.addButton(standard), answer);
  };
  auto addText = [&](const char* text, QMessageBox::ButtonRole role, core::Answer answer) {
    answers.emplace_back(box.addButton(QString::fromLatin1(text), role), answer);
  };
  switch (call.buttons) {
    case core::Buttons::Ok: add(QMessageBox::Ok, core::Answer::Ok); break;
    case core::Buttons::OkCancel:
      add(QMessageBox::Ok, core::Answer::Ok);
      add(QMessageBox::Cancel, core::Answer::Cancel);
      break;
    case core::Buttons::YesNo:
      add(QMessageBox::Yes, core::Answer::Yes);
      add(QMessageBox::No, core::Answer::No);
      break;
    case core::Buttons::YesNoCancel:
      add(QMessageBox::Yes, core::Answer::Yes);
      add(QMessageBox::No, core::Answer::No);
      add(QMessageBox::Cancel, core::Answer::Cancel);
      break;
    case core::Buttons::AppendOverwriteCancel:
      addText("&Append", QMessageBox::AcceptRole, core::Answer::Append);
      addText("&Overwrite", QMessageBox::DestructiveRole, core::Answer::Overwrite);
      add(QMessageBox::Cancel, core::Answer::Cancel);
      break;
    case core::Buttons::YesYesToAllNoCancel:
      add(QMessageBox::Yes, core::Answer::Yes);
      add(QMessageBox::YesToAll, core::Answer::YesToAll);
      addText("No (skip)", QMessageBox::NoRole, core::Answer::No);
      add(QMessageBox::Cancel, core::Answer::Cancel);
      break;
  }
  core::Answer escapeAnswer = answers.back().second;
  for (auto& [button, answer] : answers) {
    if (answer == call.defaultAnswer) box.setDefaultButton(static_cast<QPushButton*>(button));
    if (answer == core::Answer::Cancel || answer == core::Answer::No) {
      box.setEscapeButton(button);
      escapeAnswer = answer;
    }
  }
  box.exec();
  for (auto& [button, answer] : answers) {
    if (box.clickedButton() == button) return answer;
  }
  return call.buttons == core::Buttons::Ok ? core::Answer::Ok : escapeAnswer;
}

void QtUi::ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) {
  MessageBoxCall call{caption, text, icon, false, core::Buttons::Ok, core::Answer::Ok};
  OnGuiThread([&] { return Box(call); });
}

core::Answer QtUi::Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                       core::Answer defaultAnswer, core::Icon icon) {
  MessageBoxCall call{caption, text, icon, true, buttons, defaultAnswer};
  return OnGuiThread([&] { return Box(call); });
}

std::optional<std::string> QtUi::ChooseFile(core::FileRequest& request, bool save) {
  if (chooseFile) return chooseFile(request, save);
  QFileDialog dialog(parent_, Q(request.title), Q(request.folder));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The files' own routines ask before they replace one.
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const core::FileFilter& filter : request.filters) filters << Q(QtNameFilter(filter));
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    int index = request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex : 1;
    dialog.selectNameFilter(filters[index - 1]);
  }
  if (save && !request.defaultExtension.empty()) dialog.setDefaultSuffix(Q(request.defaultExtension));
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().first();
  request.folder = QFileInfo(path).absolutePath().toStdString();
  if (int chosen = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())); chosen >= 0) {
    request.filterIndex = chosen + 1;
  }
  return path.toStdString();
}

std::optional<std::string> QtUi::ChooseOpenFile(core::FileRequest& request) {
  return OnGuiThread([&] { return ChooseFile(request, false); });
}

std::optional<std::string> QtUi::ChooseSaveFile(core::FileRequest& request) {
  return OnGuiThread([&] { return ChooseFile(request, true); });
}

int QtUi::ChooseItem(const std::string& caption, const std::string& prompt, const std::vector<std::string>& items) {
  return OnGuiThread([&]() -> int {
    if (items.empty()) return -1;
    if (chooseItem) return chooseItem(caption, items);
    if (auto own = itemDialogs.find(caption); own != itemDialogs.end()) return own->second(items);
    QStringList list;
    for (const std::string& item : items) list << Q(item);
    bool ok = false;
    QString picked = QInputDialog::getItem(parent_, Q(caption), Q(prompt), list, 0, false, &ok);
    if (!ok) return -1;
    return static_cast<int>(list.indexOf(picked));
  });
}

std::vector<int> QtUi::ChooseItems(const std::string& caption, const std::string& prompt,
                                   const std::vector<std::string>& items) {
  return OnGuiThread([&]() -> std::vector<int> {
    auto own = itemsDialogs.find(caption);
    if (items.empty() || own == itemsDialogs.end()) return core::Ui::ChooseItems(caption, prompt, items);
    return own->second(items);
  });
}

int QtUi::Exec(QDialog& dialog) {
  if (driveDialog) {
    dialog.show();
    driveDialog(dialog);
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
  }
  return dialog.exec();
}

bool QtUi::SetClipboardText(const std::string& text) {
  return OnGuiThread([&] {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
      Box({"Copy to clipboard", "Failed to open clipboard", core::Icon::Error, false, core::Buttons::Ok,
           core::Answer::Ok});
      return false;
    }
    clipboard->setText(QString::fromStdString(text));
    return true;
  });
}

}  // namespace tarnvik::gui
