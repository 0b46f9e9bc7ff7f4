// A notice with "&Skip further notifications": the text, the check box and OK. OK hands the box
// back as the user left it; closing the notice any other way skips nothing. The CTR reader's
// warnings and the "No log positions" notice of a download are two of these.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tarnvik::gui {

class NoticeDialog : public QDialog {
  Q_OBJECT

 public:
  // `skipFurther` is where the answer goes; `ticked` is how the box is shown.
  NoticeDialog(const char* objectName, const char* caption, const std::string& text, bool ticked,
               bool& skipFurther, QWidget* parent);
  QLabel* textField() const { return text_; }
  QCheckBox* skipBox() const { return skip_; }
  QPushButton* okButton() const { return ok_; }

 protected:
  void done(int result) override;

 private:
  bool& skipFurther_;
  QLabel* text_ = nullptr;
  QCheckBox* skip_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace tarnvik::gui
