// The CPU the busy animations cost while they play, hidden, as they do for the whole run: four
// animation widgets (start-up, login and the two of the main window) against a baseline of the same
// four movies decoding every frame anew, measured in the same process.
#include "ui/ProccessAnimationWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMovie>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int animations = 4;
constexpr int settleMs = 1500;
constexpr int measureMs = 5000;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU milliseconds per second of the event loop running for measureMs, after settleMs.
double cpuPerSecond()
{
    runEventLoop(settleMs);
    const double start = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    runEventLoop(measureMs);
    return (cpuSeconds() - start) * 1000.0 / (double(timer.elapsed()) / 1000.0);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    double baseline = 0;
    {
        std::vector<std::unique_ptr<QMovie>> movies;
        std::vector<std::unique_ptr<QLabel>> labels;
        for (int i = 0; i < animations; ++i) {
            movies.push_back(std::make_unique<QMovie>(
                QStringLiteral(":/resources/common/images/Animations/DefaultMacLoadingAnimation.gif"), QByteArray()));
            labels.push_back(std::make_unique<QLabel>());
            movies.back()->setScaledSize(QSize(64, 64));
            labels.back()->setMovie(movies.back().get());
            movies.back()->start();
        }
        baseline = cpuPerSecond();
    }
    double widgets = 0;
    {
        std::vector<std::unique_ptr<ProccessAnimationWidget>> list;
        for (int i = 0; i < animations; ++i) {
            list.push_back(std::make_unique<ProccessAnimationWidget>());
        }
        widgets = cpuPerSecond();
    }
    const double idle = cpuPerSecond();

    std::printf("%d hidden animations, CPU per second of running:\n", animations);
    std::printf("  decoding every frame (baseline): %7.1f ms\n", baseline);
    std::printf("  animation widgets:               %7.1f ms\n", widgets);
    std::printf("  nothing playing:                 %7.1f ms\n", idle);
    std::printf("  ratio widgets / baseline:        %7.3f\n", widgets / baseline);
    return 0;
}
