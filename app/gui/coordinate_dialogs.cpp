#include "app/gui/coordinate_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/qt_ui.h"

namespace tarnvik::gui {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr app::PositionField kPositionFields[] = {app::PositionField::Zone, app::PositionField::First,
                                                  app::PositionField::Second};

// Adds the three position rows to a form layout; typing goes straight into the model's fields.
void AddPositionRows(QFormLayout* layout, PositionWidgets& widgets, app::PositionFields& fields, QWidget* parent) {
  for (app::PositionField f : kPositionFields) {
    const int i = static_cast<int>(f);
    widgets.fields[i] = new QLineEdit(parent);
    widgets.fields[i]->setMaxLength(static_cast<int>(app::kToolFieldLength));
    widgets.labels[i] = new QLabel(parent);
    widgets.labels[i]->setBuddy(widgets.fields[i]);
    layout->addRow(widgets.labels[i], widgets.fields[i]);
    QObject::connect(widgets.fields[i], &QLineEdit::textEdited, parent,
                     [&fields, f](const QString& text) { fields.Set(f, text.toStdString()); });
  }
}

// The labels of the "&UTM" box, the zone field enabled in UTM mode only, and the texts.
void ShowPositionWidgets(const PositionWidgets& widgets, app::PositionFields& fields, bool utm) {
  for (app::PositionField f : kPositionFields) {
    widgets.label(f)->setText(Q(app::PositionFieldLabel(f, utm)));
    widgets.field(f)->setText(QString::fromStdString(fields.Field(f)));
  }
  widgets.field(app::PositionField::Zone)->setEnabled(utm);
}

}  // namespace

// ---- Calculate distance ---------------------------------------------------------------------

DistanceDialog::DistanceDialog(app::DistanceForm& form, core::Ui& ui, QWidget* parent)
    : QDialog(parent), form_(form), ui_(ui) {
  setObjectName(QStringLiteral("CalculateDistance"));
  setWindowTitle(Q(app::kDistanceCaption));
  auto* layout = new QVBoxLayout(this);
  auto* ends = new QHBoxLayout;
  for (app::DistanceEnd end : {app::DistanceEnd::From, app::DistanceEnd::To}) {
    const bool isFrom = end == app::DistanceEnd::From;
    auto* box = new QGroupBox(isFrom ? QStringLiteral("FROM") : QStringLiteral("TO"), this);
    auto* rows = new QFormLayout(box);
    QComboBox*& list = isFrom ? fromList_ : toList_;
    QLabel*& name = isFrom ? fromName_ : toName_;
    list = new QComboBox(box);
    for (const app::DistanceChoice& choice : form_.choices) list->addItem(QString::fromStdString(choice.id));
    list->setEnabled(!form_.choices.empty());
    name = new QLabel(box);
    auto* choiceRow = new QHBoxLayout;
    choiceRow->addWidget(list);
    choiceRow->addWidget(name, 1);
    rows->addRow(QStringLiteral("Waypoint"), choiceRow);
    AddPositionRows(rows, isFrom ? from_ : to_, form_.Fields(end), box);
    connect(list, &QComboBox::activated, this, [this, end](int index) {
      app::ChooseDistanceWaypoint(ui_, form_, end, index);
      Show();
    });
    ends->addWidget(box);
  }
  layout->addLayout(ends);
  utm_ = new QCheckBox(Q(app::kUtmBoxLabel), this);
  connect(utm_, &QCheckBox::clicked, this, [this](bool checked) {
    app::SetDistanceUtm(form_, checked);
    Show();
  });
  layout->addWidget(utm_);
  auto* result = new QHBoxLayout;
  calculate_ = new QPushButton(Q(app::kCalculateButton), this);
  connect(calculate_, &QPushButton::clicked, this, [this] {
    app::CalculateDistance(ui_, form_);
    Show();
  });
  result->addWidget(calculate_);
  result->addWidget(new QLabel(Q(app::kDistanceLabel), this));
  distance_ = new QLabel(this);
  distance_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  result->addWidget(distance_, 1);
  layout->addLayout(result);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  calculate_->setDefault(true);
  Show();
}

void DistanceDialog::Show() {
  utm_->setChecked(form_.state.utm);
  ShowPositionWidgets(from_, form_.from, form_.state.utm);
  ShowPositionWidgets(to_, form_.to, form_.state.utm);
  if (form_.fromChoice >= 0) fromList_->setCurrentIndex(form_.fromChoice);
  if (form_.toChoice >= 0) toList_->setCurrentIndex(form_.toChoice);
  fromName_->setText(QString::fromStdString(form_.ChosenName(app::DistanceEnd::From)));
  toName_->setText(QString::fromStdString(form_.ChosenName(app::DistanceEnd::To)));
  distance_->setText(QString::fromStdString(form_.distance));
}

// ---- Coordinate conversion ------------------------------------------------------------------

ConversionDialog::ConversionDialog(app::ConversionForm& form, core::Ui& ui, QWidget* parent)
    : QDialog(parent), form_(form), ui_(ui) {
  setObjectName(QStringLiteral("CoordinateConversion"));
  setWindowTitle(Q(app::kConversionCaption));
  auto* layout = new QVBoxLayout(this);
  auto* rows = new QFormLayout;
  struct Row {
    app::ConversionField field;
    const char* label;
  };
  const Row fieldRows[] = {{app::ConversionField::Latitude, "&Latitude"},
                           {app::ConversionField::Longitude, "Lo&ngitude"},
                           {app::ConversionField::Zone, "&Zone"},
                           {app::ConversionField::Easting, "&Easting"},
                           {app::ConversionField::Northing, "N&orthing"}};
  for (const Row& row : fieldRows) {
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(static_cast<int>(app::kConversionFieldLength));
    auto* label = new QLabel(QString::fromLatin1(row.label), this);
    label->setBuddy(edit);
    rows->addRow(label, edit);
    fields_[static_cast<int>(row.field)] = edit;
    const app::ConversionField field = row.field;
    connect(edit, &QLineEdit::textEdited, this,
            [this, field](const QString& text) { form_.SetField(field, text.toStdString()); });
  }
  layout->addLayout(rows);
  layout->addWidget(new QLabel(Q(app::kConversionNote), this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  toDegrees_ = buttons->addButton(Q(app::kToDegreesButton), QDialogButtonBox::ActionRole);
  toUtm_ = buttons->addButton(Q(app::kToUtmButton), QDialogButtonBox::ActionRole);
  connect(toDegrees_, &QPushButton::clicked, this, [this] {
    app::ConvertToDegrees(ui_, form_);
    Show();
  });
  connect(toUtm_, &QPushButton::clicked, this, [this] {
    app::ConvertToUtm(ui_, form_);
    Show();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  Show();
}

void ConversionDialog::Show() {
  for (app::ConversionField f : {app::ConversionField::Latitude, app::ConversionField::Longitude,
                                 app::ConversionField::Zone, app::ConversionField::Easting,
                                 app::ConversionField::Northing}) {
    field(f)->setText(QString::fromStdString(form_.Field(f)));
  }
}

// ---- Edit Waypoint --------------------------------------------------------------------------

WaypointEditDialog::WaypointEditDialog(app::WaypointEditForm& form, core::Ui& ui, QWidget* parent)
    : QDialog(parent), form_(form), ui_(ui) {
  setObjectName(QStringLiteral("EditWaypoint"));
  setWindowTitle(QStringLiteral("Edit Waypoint"));
  auto* layout = new QVBoxLayout(this);
  auto* rows = new QFormLayout;
  struct Row {
    app::WaypointEditField field;
    const char* label;
    size_t maxLength;
    const std::string& text;
  };
  const Row fieldRows[] = {{app::WaypointEditField::Id, "&ID", app::kWaypointIdFieldLength, form_.id},
                           {app::WaypointEditField::Comment, "N&ame", app::kToolFieldLength, form_.comment},
                           {app::WaypointEditField::Height, "&Height (m)", app::kToolFieldLength, form_.height}};
  for (const Row& row : fieldRows) {
    auto* edit = new QLineEdit(QString::fromStdString(row.text), this);
    edit->setMaxLength(static_cast<int>(row.maxLength));
    auto* label = new QLabel(QString::fromLatin1(row.label), this);
    label->setBuddy(edit);
    rows->addRow(label, edit);
    fields_[static_cast<int>(row.field)] = edit;
    const app::WaypointEditField field = row.field;
    connect(edit, &QLineEdit::textEdited, this,
            [this, field](const QString& text) { form_.SetField(field, text.toStdString()); });
  }
  utm_ = new QCheckBox(Q(app::kUtmBoxLabel), this);
  rows->addRow(utm_);
  AddPositionRows(rows, position_, form_.position, this);
  layout->addLayout(rows);
  connect(utm_, &QCheckBox::clicked, this, [this](bool checked) {
    app::SetWaypointEditUtm(form_, checked);
    ShowPosition();
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (app::CheckWaypointEdit(ui_, form_) == 0) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  ShowPosition();
}

void WaypointEditDialog::ShowPosition() {
  utm_->setChecked(form_.utm);
  ShowPositionWidgets(position_, form_.position, form_.utm);
}

// ---- the hooks ------------------------------------------------------------------------------

void InstallCoordinateDialogs(app::Session& session, QtUi& ui, QWidget* parent) {
  app::SessionDialogs& d = session.dialogs;
  d.waypointEdit = [&ui, parent](app::WaypointEditForm& form) {
    WaypointEditDialog dialog(form, ui, parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  d.distanceTool = [&ui, parent](app::DistanceForm& form) {
    DistanceDialog dialog(form, ui, parent);
    ui.Exec(dialog);
  };
  d.conversionTool = [&ui, parent](app::ConversionForm& form) {
    ConversionDialog dialog(form, ui, parent);
    ui.Exec(dialog);
  };
}

}  // namespace tarnvik::gui
