#pragma once

#include <QWidget>

class QMovie;

// Plays the client's busy animation, scaled to the widget's fixed 64 x 64 size.
class ProccessAnimationWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ProccessAnimationWidget(QWidget *parent = nullptr);
    ~ProccessAnimationWidget() override;
};
