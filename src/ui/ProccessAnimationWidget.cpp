#include "ui/ProccessAnimationWidget.h"

ProccessAnimationWidget::ProccessAnimationWidget(QWidget *parent)
    : QWidget(parent)
{
}

ProccessAnimationWidget::~ProccessAnimationWidget() = default;
