#include "app/gui/dialogs.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "access/serial_ports.h"
#include "analysis/statistics_text.h"
#include "app/gui/product_data_dialog.h"
#include "app/gui/qt_ui.h"
#include "app/graviter_forms.h"
#include "app/owner_name.h"
#include "app/port_access.h"

namespace tarnvik::gui {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString DialogText(const std::string& text) {
  QString q = QString::fromStdString(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

}  // namespace

// ---- Flight statistics ----------------------------------------------------------------------

class StatisticsDialog::StatusPort final : public core::Operation {
 public:
  explicit StatusPort(StatisticsDialog* dialog) : dialog_(dialog) {}
  // The dialog is going: nothing more is forwarded to it.
  void Detach() {
    std::lock_guard lock(mutex_);
    dialog_ = nullptr;
  }
  std::string Text() {
    std::lock_guard lock(mutex_);
    return text_;
  }
  void Ended() { Wake(); }

  bool IsCancelled() const override { return false; }
  void Status(const std::string& text) override {
    {
      std::lock_guard lock(mutex_);
      text_ = text;
    }
    Wake();
  }
  void Product(const std::string&) override {}
  void Progress(int64_t done, int64_t total) override {
    {
      std::lock_guard lock(mutex_);
      done_ = done;
      total_ = total;
    }
    Wake();
  }
  // The last progress reported: (done, total), total 0 while none was.
  std::pair<int64_t, int64_t> Fraction() {
    std::lock_guard lock(mutex_);
    return {done_, total_};
  }
  void Fail(const std::string&, const std::string&) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer defaultAnswer) override {
    return defaultAnswer;
  }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }

 private:
  void Wake() {
    std::lock_guard lock(mutex_);
    if (dialog_) QMetaObject::invokeMethod(dialog_, [d = dialog_] { d->Refresh(); }, Qt::QueuedConnection);
  }

  std::mutex mutex_;
  StatisticsDialog* dialog_;
  std::string text_;
  int64_t done_ = 0;
  int64_t total_ = 0;
};

StatisticsDialog::StatisticsDialog(app::FlightStatisticsRun& run, QtUi& ui, core::Clock& clock, QWidget* parent)
    : QDialog(parent), run_(run), ui_(ui), port_(std::make_shared<StatusPort>(this)) {
  setObjectName(QStringLiteral("FlightStatistics"));
  setWindowTitle(QStringLiteral("Flight statistics"));
  model_ = std::make_unique<analysis::StatisticsModel>(ui, *port_, clock);

  auto* layout = new QVBoxLayout(this);
  lines_ = new QPlainTextEdit(this);
  lines_->setReadOnly(true);
  lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  lines_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(lines_->font());
  lines_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 74,
                         metrics.lineSpacing() * static_cast<int>(analysis::kStatisticsLineCount + 6));
  layout->addWidget(lines_, 1);

  layout->addWidget(new QLabel(QStringLiteral("Log description"), this));
  description_ = new QPlainTextEdit(this);
  description_->setMaximumHeight(metrics.lineSpacing() * 5);
  // The description holds at most 8000 characters: typing or pasting beyond is cut.
  connect(description_, &QPlainTextEdit::textChanged, this, [this] {
    const QString text = description_->toPlainText();
    if (text.size() > static_cast<qsizetype>(analysis::kDescriptionMaxCharacters)) {
      description_->setPlainText(text.left(static_cast<qsizetype>(analysis::kDescriptionMaxCharacters)));
      description_->moveCursor(QTextCursor::End);
    }
  });
  layout->addWidget(description_);

  auto* statusRow = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->setFrameShadow(QFrame::Sunken);
  statusRow->addWidget(status_, 1);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 0);  // the searches report no total: a busy bar while they run
  progress_->setMaximumWidth(140);
  statusRow->addWidget(progress_);
  layout->addLayout(statusRow);

  auto* buttons = new QHBoxLayout;
  halt_ = new QPushButton(QStringLiteral("&Halt computation"), this);
  save_ = new QPushButton(QStringLiteral("&Save"), this);
  copy_ = new QPushButton(QStringLiteral("&Copy to Clipboard"), this);
  exit_ = new QPushButton(QStringLiteral("E&xit"), this);
  for (QPushButton* b : {halt_, save_, copy_, exit_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  connect(halt_, &QPushButton::clicked, this, [this] {
    model_->Halt();
    Refresh();
  });
  connect(save_, &QPushButton::clicked, this, &StatisticsDialog::OnSave);
  connect(copy_, &QPushButton::clicked, this, &StatisticsDialog::OnCopy);
  connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
}

StatisticsDialog::~StatisticsDialog() {
  port_->Detach();
  model_.reset();  // joins the worker while everything it reports to still exists
}

bool StatisticsDialog::Open() {
  std::weak_ptr<StatusPort> port = port_;
  const bool opened = model_->Open(run_.selected, run_.filterOn, run_.sourceKind, run_.sourceFlag, [port](int) {
    if (auto p = port.lock()) p->Ended();
  });
  Refresh();
  return opened;
}

void StatisticsDialog::Refresh() {
  QString text;
  for (const std::string& line : model_->Lines()) text += DialogText(line);
  if (lines_->toPlainText() != text) lines_->setPlainText(text);
  status_->setText(QString::fromStdString(port_->Text()));
  // A search that reports its progress fills the bar; otherwise it shows that work goes on.
  const auto [done, total] = port_->Fraction();
  if (total > 0 && total <= INT32_MAX) {
    progress_->setRange(0, static_cast<int>(total));
    progress_->setValue(static_cast<int>(std::min(done, total)));
  } else {
    progress_->setRange(0, 0);
  }
  progress_->setVisible(!model_->Finished() && status_->text() != QStringLiteral("Computation halted"));
}

void StatisticsDialog::OnSave() {
  if (!run_.save) return;
  model_->Save(description_->toPlainText().toStdString(), run_.save);
}

void StatisticsDialog::OnCopy() {
  if (std::optional<std::string> text = model_->Copy()) ui_.SetClipboardText(*text);
  Refresh();
}

void StatisticsDialog::done(int result) {
  // Exit or close: halt, wait for the worker, release the working set.
  model_->Close();
  Refresh();
  QDialog::done(result);
}

// ---- IGC File Format ------------------------------------------------------------------------

IgcFormatDialog::IgcFormatDialog(app::IgcFormatForm& form, core::Ui& ui, QWidget* parent)
    : QDialog(parent), form_(form), ui_(ui) {
  setObjectName(QStringLiteral("IgcFileFormat"));
  setWindowTitle(QStringLiteral("IGC File Format"));
  auto* layout = new QVBoxLayout(this);
  auto* formLayout = new QFormLayout;
  size_t i = 0;
  for (const app::IgcFieldInfo& info : app::kIgcFormatFields) {
    auto* edit = new QLineEdit(QString::fromStdString(form_.Field(info.field)), this);
    edit->setMaxLength(static_cast<int>(info.maxLength));
    if (info.field == app::IgcField::Serial) edit->setPlaceholderText(QStringLiteral("3 alpha/num"));
    auto* label = new QLabel(Q(info.label), this);
    label->setBuddy(edit);
    formLayout->addRow(label, edit);
    fields_[i++] = edit;
  }
  layout->addLayout(formLayout);
  long_ = new QCheckBox(Q(app::kIgcLongNameLabel), this);
  short_ = new QCheckBox(Q(app::kIgcShortNameLabel), this);
  signature_ = new QCheckBox(Q(app::kIgcSignatureLabel), this);
  signature_->setChecked(form_.signature);
  layout->addWidget(long_);
  layout->addWidget(short_);
  layout->addWidget(signature_);
  ShowBoxes();
  connect(long_, &QCheckBox::clicked, this, [this] {
    form_.names.ClickLong();
    ShowBoxes();
  });
  connect(short_, &QCheckBox::clicked, this, [this] {
    form_.names.ClickShort();
    ShowBoxes();
  });
  auto* box = new QDialogButtonBox(this);
  save_ = box->addButton(QStringLiteral("&Save"), QDialogButtonBox::AcceptRole);
  box->addButton(QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(save_, &QPushButton::clicked, this, &IgcFormatDialog::OnSave);
  layout->addWidget(box);
}

QLineEdit* IgcFormatDialog::field(app::IgcField field) const {
  for (size_t i = 0; i < std::size(app::kIgcFormatFields); ++i) {
    if (app::kIgcFormatFields[i].field == field) return fields_[i];
  }
  return nullptr;
}

void IgcFormatDialog::ShowBoxes() {
  long_->setChecked(form_.names.longName);
  short_->setChecked(form_.names.shortName);
}

void IgcFormatDialog::OnSave() {
  for (size_t i = 0; i < std::size(app::kIgcFormatFields); ++i) {
    form_.SetField(app::kIgcFormatFields[i].field, fields_[i]->text().toStdString());
  }
  form_.signature = signature_->isChecked();
  if (app::CheckIgcParameters(ui_, form_) == 0) accept();
}

// ---- Save IGC track log from GPS ------------------------------------------------------------

RawIgcSaveDialog::RawIgcSaveDialog(app::RawIgcSaveForm& form, core::Ui& ui, QWidget* parent)
    : QDialog(parent), form_(form), ui_(ui) {
  setObjectName(QStringLiteral("RawIgcSave"));
  setWindowTitle(QStringLiteral("Save IGC track log from GPS"));
  auto* layout = new QVBoxLayout(this);
  auto* formLayout = new QFormLayout;
  flightNumber_ = new QLineEdit(QString::fromStdString(form_.flightNumber), this);
  flightNumber_->setMaxLength(10);
  formLayout->addRow(QStringLiteral("&Flight # (1-35)"), flightNumber_);
  layout->addLayout(formLayout);
  long_ = new QCheckBox(Q(app::kIgcLongNameLabel), this);
  short_ = new QCheckBox(Q(app::kIgcShortNameLabel), this);
  layout->addWidget(long_);
  layout->addWidget(short_);
  ShowBoxes();
  connect(long_, &QCheckBox::clicked, this, [this] {
    form_.names.ClickLong();
    ShowBoxes();
  });
  connect(short_, &QCheckBox::clicked, this, [this] {
    form_.names.ClickShort();
    ShowBoxes();
  });
  auto* box = new QDialogButtonBox(this);
  save_ = box->addButton(QStringLiteral("&Save"), QDialogButtonBox::AcceptRole);
  box->addButton(QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(save_, &QPushButton::clicked, this, &RawIgcSaveDialog::OnSave);
  layout->addWidget(box);
}

void RawIgcSaveDialog::ShowBoxes() {
  long_->setChecked(form_.names.longName);
  short_->setChecked(form_.names.shortName);
}

void RawIgcSaveDialog::OnSave() {
  form_.SetFlightNumber(flightNumber_->text().toStdString());
  if (app::CheckRawIgcParameters(ui_, form_) == 0) accept();
}

// ---- Select COM port ------------------------------------------------------------------------

ComPortDialog::ComPortDialog(const access::ComPortChoice& choice, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SelectComPort"));
  setWindowTitle(QStringLiteral("Select COM port"));
  auto* layout = new QVBoxLayout(this);
  auto* formLayout = new QFormLayout;
  ports_ = new QComboBox(this);
  ports_->setEditable(true);
  ports_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& port : choice.ports) ports_->addItem(QString::fromStdString(port));
  if (choice.selected >= 0) ports_->setCurrentIndex(choice.selected);
  ports_->setMinimumContentsLength(32);
  formLayout->addRow(QStringLiteral("COM port"), ports_);
  layout->addLayout(formLayout);
  hint_ = new QLabel(this);
  hint_->setWordWrap(true);
  layout->addWidget(hint_);
  auto showHint = [this] {
    const std::string hint = app::PortAccessHint(port());
    hint_->setText(QString::fromStdString(hint));
    hint_->setVisible(!hint.empty());
  };
  connect(ports_, &QComboBox::currentTextChanged, this, showHint);
  showHint();
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(box);
}

std::string ComPortDialog::port() const {
  const QString typed = ports_->currentText().trimmed();
  // A relative device path (a link in the working folder) is kept as an absolute one, so the
  // remembered port still names it when the program starts elsewhere. The link itself is kept,
  // not what it points to: a simulator makes it anew.
  if (typed.contains(QLatin1Char('/')) && QDir::isRelativePath(typed)) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(typed)).toStdString();
  }
  return typed.toStdString();
}

// ---- the hooks ------------------------------------------------------------------------------

void InstallWindowDialogs(app::Session& session, QtUi& ui, QWidget* parent) {
  app::SessionDialogs& d = session.dialogs;
  d.flightStatistics = [&session, &ui, parent](app::FlightStatisticsRun& run) {
    StatisticsDialog dialog(run, ui, session.clock(), parent);
    if (dialog.Open()) ui.Exec(dialog);
  };
  d.igcFormat = [&ui, parent](app::IgcFormatForm& form) {
    IgcFormatDialog dialog(form, ui, parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  d.rawIgcSave = [&ui, parent](app::RawIgcSaveForm& form) {
    RawIgcSaveDialog dialog(form, ui, parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  d.comPort = [&ui, parent](const access::ComPortChoice& choice) -> std::optional<std::string> {
    ComPortDialog dialog(choice, parent);
    if (ui.Exec(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.port();
  };
  d.clipboard = [&ui](const std::string& text) { return ui.SetClipboardText(text); };
  d.ownerName = [&ui, parent](int protocol) -> std::optional<std::string> {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QString::fromLatin1(app::kOwnerNameCaption));
    dialog.setLabelText(QString::fromLatin1(app::kOwnerNamePrompt));
    dialog.setInputMode(QInputDialog::TextInput);
    // The instrument's name field: 9 characters for LogIt, 8 for Graviter.
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(static_cast<int>(app::GpsNameLength(protocol)));
    if (ui.Exec(dialog) != QDialog::Accepted) return std::nullopt;
    return app::GpsNameFromInput(protocol, dialog.textValue().toStdString());
  };
  d.productData = [&ui, parent](app::ProductDataForm& form) {
    ProductDataDialog dialog(form, parent);
    ui.Exec(dialog);
  };
  // The ports that exist, and the session's own port when it is none of them (a port given on
  // the command line or remembered, such as a simulator's pseudo-terminal link) or when no port
  // exists at all, so that the chooser opens and another port can be typed.
  d.listSerialPorts = [&session] {
    std::vector<std::string> ports = access::ListSerialPorts();
    const bool isPath = session.portName.find('/') != std::string::npos;
    const bool listed = std::find(ports.begin(), ports.end(), session.portName) != ports.end();
    if ((isPath || ports.empty()) && !session.portName.empty() && !listed) {
      ports.insert(ports.begin(), session.portName);
    }
    return ports;
  };
}

}  // namespace tarnvik::gui
