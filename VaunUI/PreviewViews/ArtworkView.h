#pragma once
// The square cover tile of the preview header: the file's embedded picture when it decodes,
// else the default art of the current appearance, else the "waveform" symbol on a pale blue
// tile. Clipped to a rounded rectangle and hidden from assistive technology (it is decoration;
// the file name beside it says what the file is).
//
// Decoding runs on the thread pool and only ever yields a thumbnail (longer side at most
// kMaxThumbnailPixels). Each new picture first clears the old one, so the default art shows
// until the new thumbnail arrives; a result that arrives after a newer picture was set is
// dropped (generation counter, decided on the UI thread).
#include "Toolkit/Appearance.h"

#include <QByteArray>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace vaun {

class ArtworkView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSide = 56;
    static constexpr double kCornerRadius = 13;
    static constexpr int kMaxThumbnailPixels = 160;
    static constexpr double kSymbolPoints = 25;
    static constexpr double kSymbolTileOpacity = 0.09;

    using Data = std::optional<std::vector<std::uint8_t>>;

    explicit ArtworkView(QWidget* parent = nullptr);

    // Starts decoding when the bytes differ from the current ones.
    void setData(Data data);
    const Data& data() const { return data_; }

    const std::optional<QImage>& artwork() const { return artwork_; }
    bool isDecoding() const { return decoding_; }

    QSize sizeHint() const override { return QSize(kSide, kSide); }

    // A thumbnail of the picture in `bytes` whose longer side is at most `maxPixels`, keeping the
    // aspect ratio; nothing when the bytes do not decode. Safe on any thread.
    static std::optional<QImage> decodeThumbnail(const QByteArray& bytes, int maxPixels = kMaxThumbnailPixels);

    // The application's default art for a scheme (VaunArt's "artwork-dark" or "artwork-light").
    static const std::optional<QImage>& defaultArt(ColorScheme scheme);

    // The whole tile, `points` large at `devicePixelRatio`, from the first content that applies:
    // the thumbnail (filling, longer side cropped), the default art (fitting), the symbol.
    static QImage tileImage(QSizeF points, qreal devicePixelRatio, const std::optional<QImage>& artwork,
                            const std::optional<QImage>& defaultArt, ColorScheme scheme);

signals:
    // The thumbnail appeared or was cleared.
    void artworkChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void startDecoding();
    void setArtwork(std::optional<QImage> artwork);

    Data data_;
    std::optional<QImage> artwork_;
    std::uint64_t generation_ = 0;
    bool decoding_ = false;
    QImage tile_; // the drawn tile, rebuilt when its inputs change
};

} // namespace vaun
