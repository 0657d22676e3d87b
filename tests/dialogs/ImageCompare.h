// Comparisons of pictures for the tests of icons on scaled screens.
#pragma once

#include <QImage>

#include <cstdlib>

namespace ImageCompare {

// Whether every 2 x 2 block of the image has one colour, as a picture enlarged twofold has.
inline bool Doubled(const QImage& image)
{
    for (int y = 0; y + 1 < image.height(); y += 2) {
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb c = image.pixel(x, y);
            if (image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c || image.pixel(x + 1, y + 1) != c)
                return false;
        }
    }
    return true;
}

// The mean difference per colour channel, alpha included, of two pictures of one size (0 to 255).
inline double MeanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                   + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * x.width() * x.height());
}

// The picture brought down to width x height, smoothly.
inline QImage Reduced(const QImage& image, int width, int height)
{
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace ImageCompare
