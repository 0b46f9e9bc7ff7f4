#include "app/gui/olc_dialog.h"

#include <mutex>
#include <optional>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/gui/qt_ui.h"

namespace tarnvik::gui {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

struct FieldLabel {
  app::OlcField field;
  const char* label;
};
// The text fields in the order of OlcField, with their labels.
constexpr FieldLabel kFieldLabels[] = {
    {app::OlcField::FirstName, "&First name"},   {app::OlcField::LastName, "&Last name"},
    {app::OlcField::BirthDate, "&Birth date"},   {app::OlcField::GliderType, "&Glider type"},
    {app::OlcField::CallSign, "C&all sign"},     {app::OlcField::StartPlace, "S&tart place"},
    {app::OlcField::FlightNumber, "&Flight #"},
};

}  // namespace

// The model's status port: the worker's texts, its failure and its end come on the worker
// thread; they are kept here and shown on the GUI thread.
class OlcDialog::StatusPort final : public core::Operation {
 public:
  explicit StatusPort(OlcDialog* dialog) : dialog_(dialog) {}
  void Detach() {
    std::lock_guard lock(mutex_);
    dialog_ = nullptr;
  }
  std::string Text() {
    std::lock_guard lock(mutex_);
    return text_;
  }
  // The failure not shown yet, once.
  std::optional<std::pair<std::string, std::string>> TakeFailure() {
    std::lock_guard lock(mutex_);
    return std::exchange(failure_, std::nullopt);
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
  // Shown by the dialog on its own thread: a box raised from the worker could wait on a GUI
  // thread that is itself waiting for the worker to end.
  void Fail(const std::string& caption, const std::string& text) override {
    {
      std::lock_guard lock(mutex_);
      failure_.emplace(caption, text);
    }
    Wake();
  }
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
  OlcDialog* dialog_;
  std::string text_;
  std::optional<std::pair<std::string, std::string>> failure_;
};

OlcDialog::OlcDialog(app::OlcStatisticsRun& run, QtUi& ui, core::Settings& settings, std::string& lastFlightNumber,
                     QWidget* parent)
    : QDialog(parent),
      run_(run),
      ui_(ui),
      settings_(settings),
      lastFlightNumber_(lastFlightNumber),
      form_(app::LoadOlcForm(settings, lastFlightNumber)),
      port_(std::make_shared<StatusPort>(this)) {
  setObjectName(QStringLiteral("OlcStatistics"));
  setWindowTitle(QStringLiteral("OLC statistics"));
  model_ = std::make_unique<analysis::OlcModel>(ui, *port_);

  auto* layout = new QVBoxLayout(this);
  auto* formLayout = new QFormLayout;
  for (const FieldLabel& info : kFieldLabels) {
    auto* edit = new QLineEdit(Q(form_.Field(info.field)), this);
    edit->setMaxLength(static_cast<int>(app::kOlcFieldLength));
    fields_[static_cast<size_t>(info.field)] = edit;
  }
  if (field(app::OlcField::BirthDate)) field(app::OlcField::BirthDate)->setPlaceholderText(QStringLiteral("dd.mm.yy"));
  class_ = new QComboBox(this);
  for (const app::OlcClassInfo& info : app::kOlcClasses) class_->addItem(Q(info.text));
  class_->setCurrentIndex(form_.classRow);
  region_ = new QComboBox(this);
  for (std::string_view region : app::kOlcRegions) region_->addItem(Q(region));
  region_->setCurrentIndex(form_.regionRow);
  long_ = new QCheckBox(QStringLiteral("Long file&name"), this);
  long_->setChecked(form_.longFileName);
  auto addRow = [&](const char* label, QWidget* widget) {
    auto* caption = new QLabel(QString::fromLatin1(label), this);
    caption->setBuddy(widget);
    formLayout->addRow(caption, widget);
  };
  addRow("&First name", field(app::OlcField::FirstName));
  addRow("&Last name", field(app::OlcField::LastName));
  addRow("&Birth date", field(app::OlcField::BirthDate));
  addRow("&Class", class_);
  addRow("&Glider type", field(app::OlcField::GliderType));
  addRow("C&all sign", field(app::OlcField::CallSign));
  addRow("S&tart place", field(app::OlcField::StartPlace));
  addRow("&Region", region_);
  addRow("&Flight #", field(app::OlcField::FlightNumber));
  formLayout->addRow(QString(), long_);
  layout->addLayout(formLayout);

  results_ = new QPlainTextEdit(this);
  results_->setReadOnly(true);
  results_->setLineWrapMode(QPlainTextEdit::NoWrap);
  results_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetrics metrics(results_->font());
  results_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 72, metrics.lineSpacing() * 8);
  layout->addWidget(results_, 1);

  auto* statusRow = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setFrameShape(QFrame::StyledPanel);
  status_->setFrameShadow(QFrame::Sunken);
  statusRow->addWidget(status_, 1);
  progress_ = new QLabel(this);
  progress_->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("Done: 100 %")));
  statusRow->addWidget(progress_);
  layout->addLayout(statusRow);

  auto* buttons = new QHBoxLayout;
  halt_ = new QPushButton(QStringLiteral("&Halt"), this);
  saveOlc_ = new QPushButton(QStringLiteral("Save &OLC only"), this);
  saveIgc_ = new QPushButton(QStringLiteral("&Save with IGC"), this);
  exit_ = new QPushButton(QStringLiteral("E&xit"), this);
  for (QPushButton* b : {halt_, saveOlc_, saveIgc_, exit_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  connect(halt_, &QPushButton::clicked, this, [this] {
    model_->Halt();
    Refresh();
  });
  connect(saveOlc_, &QPushButton::clicked, this, [this] { OnSave(false); });
  connect(saveIgc_, &QPushButton::clicked, this, [this] { OnSave(true); });
  connect(exit_, &QPushButton::clicked, this, &QDialog::accept);

  // The progress counters are polled, as the worker only counts them.
  timer_ = new QTimer(this);
  timer_->setInterval(500);
  connect(timer_, &QTimer::timeout, this, &OlcDialog::PollProgress);
}

OlcDialog::~OlcDialog() {
  port_->Detach();
  model_.reset();  // joins the worker while everything it reports to still exists
}

bool OlcDialog::Open() {
  std::weak_ptr<StatusPort> port = port_;
  const bool opened = model_->Open(run_.fixes, [port] {
    if (auto p = port.lock()) p->Ended();
  });
  if (opened) timer_->start();
  Refresh();
  return opened;
}

void OlcDialog::PollProgress() { progress_->setText(Q(model_->ProgressText())); }

void OlcDialog::Refresh() {
  PollProgress();
  status_->setText(Q(port_->Text()));
  if (std::optional<analysis::OlcOutcome> outcome = model_->Outcome()) {
    QString text;
    for (const std::string& line : outcome->summary) text += Q(line) + QLatin1Char('\n');
    if (results_->toPlainText() != text) results_->setPlainText(text);
  }
  if (WorkerEnded()) timer_->stop();
  if (auto failure = port_->TakeFailure()) ui_.ShowMessage(failure->first, failure->second, core::Icon::Error);
}

void OlcDialog::ReadForm() {
  for (const FieldLabel& info : kFieldLabels) form_.SetField(info.field, field(info.field)->text().toStdString());
  form_.classRow = class_->currentIndex();
  form_.regionRow = region_->currentIndex();
  form_.longFileName = long_->isChecked();
}

void OlcDialog::OnSave(bool withIgc) {
  // A run that has not finished, or was halted, saves nothing (the model's rule).
  if (!model_->Saveable()) return;
  ReadForm();
  app::SaveOlcFile(ui_, settings_, *model_, form_, run_.source, withIgc);
  // The check rewrites the birth date: show it as it was stored.
  field(app::OlcField::BirthDate)->setText(Q(form_.birthDate));
}

void OlcDialog::done(int result) {
  // Exit or close: halt, wait for the worker, release the working set.
  timer_->stop();
  lastFlightNumber_ = field(app::OlcField::FlightNumber)->text().toStdString();
  model_->Close();
  port_->Detach();
  QDialog::done(result);
}

void InstallOlcDialog(app::Session& session, QtUi& ui, QWidget* parent) {
  // The flight number is kept from one dialog to the next while the program runs.
  auto lastFlightNumber = std::make_shared<std::string>();
  session.dialogs.olcStatistics = [&session, &ui, parent, lastFlightNumber](app::OlcStatisticsRun& run) {
    OlcDialog dialog(run, ui, session.settings, *lastFlightNumber, parent);
    if (dialog.Open()) ui.Exec(dialog);
  };
}

}  // namespace tarnvik::gui
