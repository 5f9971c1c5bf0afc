#pragma once

#include <QWidget>

#include <memory>

class QMovie;

namespace Ui {
class ProccessAnimationWidget;
}

// Plays the client's busy animation, scaled to the widget's fixed 64 x 64 size.
class ProccessAnimationWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ProccessAnimationWidget(QWidget *parent = nullptr);
    ~ProccessAnimationWidget() override;

private:
    // Released in reverse order: the movie first, then the form.
    std::unique_ptr<Ui::ProccessAnimationWidget> ui;
    std::unique_ptr<QMovie> movie;
};
