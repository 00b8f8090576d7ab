#pragma once
// A one-line label for long notices in a status bar: it shows as much of its text as fits,
// ending in an ellipsis, and the whole text as its tooltip.

#include <QLabel>

namespace halvern {

class ElidedLabel : public QLabel {
  public:
    using QLabel::QLabel;
    void SetFullText(const QString& text);
    const QString& FullText() const { return full_; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Elide();
    QString full_;
};

}  // namespace halvern
