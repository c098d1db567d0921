#include "engine/pdf/flate_predictor.h"

#include <zlib.h>

#include <cstdlib>
#include <limits>
#include <string>

namespace pagewash {

namespace {

std::uint8_t paeth(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<std::uint8_t>(left);
    if (toUp <= toUpLeft) return static_cast<std::uint8_t>(up);
    return static_cast<std::uint8_t>(upLeft);
}

}  // namespace

Result<std::vector<std::uint8_t>> inflateZlib(std::span<const std::uint8_t> data, std::size_t maxOutput) {
    z_stream stream{};
    // Only a lack of memory stops zlib from starting: no byte of the data is at fault.
    if (inflateInit(&stream) != Z_OK) return Refusal{-1, "the inflater could not start"};
    // zlib takes its input length as uInt; cross-reference streams are far below that.
    if (data.size() > std::numeric_limits<uInt>::max()) {
        inflateEnd(&stream);
        return Refusal{0, "the stream is too long"};
    }
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    std::vector<std::uint8_t> output;
    std::uint8_t chunk[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = sizeof chunk - stream.avail_out;
        if (output.size() + produced > maxOutput) {
            // total_in: how far the input was read when the output passed the limit.
            const auto consumed = static_cast<std::int64_t>(stream.total_in);
            inflateEnd(&stream);
            return Refusal{consumed,
                           "the stream inflates to more than " + std::to_string(maxOutput) + " bytes"};
        }
        output.insert(output.end(), chunk, chunk + produced);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) break;
    }
    const auto consumed = static_cast<std::int64_t>(stream.total_in);
    inflateEnd(&stream);
    if (status == Z_BUF_ERROR)
        return Refusal{static_cast<std::int64_t>(data.size()), "the compressed data ends early"};
    // zlib stops at the byte it cannot decode: total_in counts the bytes before it.
    if (status != Z_STREAM_END) return Refusal{consumed, "the compressed data is damaged"};
    return output;
}

std::vector<std::uint8_t> deflateZlib(std::span<const std::uint8_t> data) {
    uLongf capacity = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> output(capacity);
    // compress2 only fails for lack of memory or a bad level; the buffer is large enough by contract.
    if (compress2(output.data(), &capacity, data.data(), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw std::bad_alloc();
    }
    output.resize(capacity);
    return output;
}

bool PredictorParameters::isSupported() const {
    if (colors < 1 || colors > 4 || columns < 1 || columns > (1 << 20)) return false;
    if (predictor == 1) return true;
    if (predictor == 2) return bitsPerComponent == 8;
    if (predictor >= 10 && predictor <= 15) {
        return bitsPerComponent == 1 || bitsPerComponent == 2 || bitsPerComponent == 4 ||
               bitsPerComponent == 8 || bitsPerComponent == 16;
    }
    return false;
}

Result<std::vector<std::uint8_t>> removePredictor(std::span<const std::uint8_t> data,
                                                  const PredictorParameters& parameters) {
    if (!parameters.isSupported()) {
        return Refusal{-1, "predictor " + std::to_string(parameters.predictor) +
                               " with these parameters is not supported"};
    }
    if (parameters.predictor == 1) return std::vector<std::uint8_t>(data.begin(), data.end());
    const auto rowBytes = static_cast<std::size_t>(parameters.rowBytes());
    std::vector<std::uint8_t> rows;
    if (parameters.predictor == 2) {
        if (data.size() % rowBytes != 0) {
            return Refusal{static_cast<std::int64_t>(data.size() - data.size() % rowBytes),
                           "the last predictor row is incomplete"};
        }
        const auto colors = static_cast<std::size_t>(parameters.colors);
        rows.assign(data.begin(), data.end());
        for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
            for (std::size_t i = colors; i < rowBytes; ++i) {
                rows[rowStart + i] =
                    static_cast<std::uint8_t>(rows[rowStart + i] + rows[rowStart + i - colors]);
            }
        }
        return rows;
    }
    const std::size_t stride = rowBytes + 1;
    if (data.size() % stride != 0) {
        return Refusal{static_cast<std::int64_t>(data.size() - data.size() % stride),
                       "the last predictor row is incomplete"};
    }
    const auto bpp = static_cast<std::size_t>(parameters.bytesPerPixel());
    rows.resize(data.size() / stride * rowBytes);
    for (std::size_t row = 0; row * stride < data.size(); ++row) {
        const std::uint8_t filter = data[row * stride];
        const std::uint8_t* in = data.data() + row * stride + 1;
        std::uint8_t* out = rows.data() + row * rowBytes;
        const std::uint8_t* up = row > 0 ? out - rowBytes : nullptr;
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= bpp ? out[i - bpp] : 0;
            const int above = up ? up[i] : 0;
            const int upLeft = (up && i >= bpp) ? up[i - bpp] : 0;
            int predicted = 0;
            switch (filter) {
                case 0:
                    predicted = 0;
                    break;
                case 1:
                    predicted = left;
                    break;
                case 2:
                    predicted = above;
                    break;
                case 3:
                    predicted = (left + above) / 2;
                    break;
                case 4:
                    predicted = paeth(left, above, upLeft);
                    break;
                default:
                    return Refusal{static_cast<std::int64_t>(row * stride),
                                   "row " + std::to_string(row) + " has the unknown PNG filter " +
                                       std::to_string(filter)};
            }
            out[i] = static_cast<std::uint8_t>(in[i] + predicted);
        }
    }
    return rows;
}

std::vector<std::uint8_t> applyPredictor(std::span<const std::uint8_t> rows,
                                         const PredictorParameters& parameters) {
    if (parameters.predictor == 1) return std::vector<std::uint8_t>(rows.begin(), rows.end());
    const auto rowBytes = static_cast<std::size_t>(parameters.rowBytes());
    std::vector<std::uint8_t> data;
    if (parameters.predictor == 2) {
        const auto colors = static_cast<std::size_t>(parameters.colors);
        data.assign(rows.begin(), rows.end());
        for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
            for (std::size_t i = colors; i < rowBytes; ++i) {
                data[rowStart + i] =
                    static_cast<std::uint8_t>(rows[rowStart + i] - rows[rowStart + i - colors]);
            }
        }
        return data;
    }
    data.reserve(rows.size() / rowBytes * (rowBytes + 1));
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        data.push_back(2);  // Up
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const std::uint8_t above = rowStart > 0 ? rows[rowStart - rowBytes + i] : 0;
            data.push_back(static_cast<std::uint8_t>(rows[rowStart + i] - above));
        }
    }
    return data;
}

}  // namespace pagewash
