#pragma once
// Playback position and level meters, kept apart from the preview model so the playback
// timer's frequent updates reach only the views that show them (see WithPlayback).
#include <QObject>
#include <QVector>

namespace vaun {

class PlaybackState : public QObject {
    Q_OBJECT
    Q_PROPERTY(double fraction READ fraction WRITE setFraction NOTIFY fractionChanged)
    Q_PROPERTY(QVector<float> meterPeak READ meterPeak WRITE setMeterPeak NOTIFY meterPeakChanged)
    Q_PROPERTY(QVector<float> meterAverage READ meterAverage WRITE setMeterAverage NOTIFY meterAverageChanged)

public:
    explicit PlaybackState(QObject* parent = nullptr);

    // Position as a fraction of the file's duration, 0…1.
    double fraction() const { return fraction_; }
    void setFraction(double fraction);

    // Per-channel levels in dBFS; empty while nothing plays, which hides the meters.
    const QVector<float>& meterPeak() const { return meterPeak_; }
    void setMeterPeak(const QVector<float>& levels);
    const QVector<float>& meterAverage() const { return meterAverage_; }
    void setMeterAverage(const QVector<float>& levels);

signals:
    void fractionChanged();
    void meterPeakChanged();
    void meterAverageChanged();

private:
    double fraction_ = 0;
    QVector<float> meterPeak_;
    QVector<float> meterAverage_;
};

} // namespace vaun
