#include "PlaybackState.h"

namespace vaun {

PlaybackState::PlaybackState(QObject* parent) : QObject(parent) {}

void PlaybackState::setFraction(double fraction) {
    if (fraction_ == fraction) return;
    fraction_ = fraction;
    emit fractionChanged();
}

void PlaybackState::setMeterPeak(const QVector<float>& levels) {
    if (meterPeak_ == levels) return;
    meterPeak_ = levels;
    emit meterPeakChanged();
}

void PlaybackState::setMeterAverage(const QVector<float>& levels) {
    if (meterAverage_ == levels) return;
    meterAverage_ = levels;
    emit meterAverageChanged();
}

} // namespace vaun
