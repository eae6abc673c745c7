#include "platform/avcodec/avcodec_picture_codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/rational.h>
}

#include <algorithm>
#include <cstring>
#include <numeric>
#include <tuple>

namespace parvane {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kPictureCode = 0x00;
constexpr std::uint8_t kLastSliceCode = 0xAF;
constexpr std::uint8_t kSequenceCode = 0xB3;
constexpr std::uint8_t kExtensionCode = 0xB5;
constexpr std::uint8_t kSequenceEndCode = 0xB7;
constexpr std::uint8_t kGroupCode = 0xB8;
constexpr int kSequenceExtension = 1;
constexpr int kPictureCodingExtension = 8;

// DVD limits: the highest rate and the decoder's buffer (224 KiB) that every picture must
// fit, whatever the rate control makes of them.
constexpr std::int64_t kMaxRate = 9'800'000;
constexpr int kBufferBits = 1'835'008;
// The rate control's aim: a group's I picture at the highest quantiser below overshoots
// it, and at 8 Mbit/s twenty pictures of fine detail came to more than 9.8 Mbit/s. The
// worst picture is no worse at 6.
constexpr std::int64_t kMeanRate = 6'000'000;
// Low enough that text and fine test patterns keep about 45 dB at DVD rates over the few
// pictures at a clip's edge, which is all this ever encodes.
constexpr int kHighestQuantiser = 8;

// The first bytes of every 00 00 01 xx start code.
std::vector<std::size_t> startCodes(const std::uint8_t* data, std::size_t size) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i + 3 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            found.push_back(i);
    return found;
}

struct FieldFlags {
    bool topFieldFirst = false;
    bool repeatFirstField = false;
    bool progressiveFrame = true; // an MPEG-1 picture has no extension and is progressive
};

// One coded picture of the source, from its first header to the next picture's.
struct SourcePicture {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t pictureCode = 0;
    int type = 0; // 1 I, 2 P, 3 B
    int temporalReference = 0;
    int group = -1;
    bool closedGroup = false;
    bool brokenLink = false;
    bool inSequence = false;
    FieldFlags flags;
    std::vector<bool> sliceRows = std::vector<bool>(kLastSliceCode);
    std::optional<std::int64_t> pts;
    bool sendFailed = false;
    AVFrame* frame = nullptr;
};

struct ContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using Context = std::unique_ptr<AVCodecContext, ContextFree>;
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;
struct OwnedFrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, OwnedFrameFree>;

AVRational frameRate(int code) {
    static constexpr AVRational rates[] = {{0, 1},  {24000, 1001}, {24, 1},
                                           {25, 1}, {30000, 1001}, {30, 1},
                                           {50, 1}, {60000, 1001}, {60, 1}};
    return code > 0 && code < 9 ? rates[code] : AVRational{0, 1};
}

// Fields a picture is shown for; in a progressive sequence a repeated "field" repeats the
// whole frame once or, with the top field first, twice.
int fieldsShown(const FieldFlags& flags, bool progressiveSequence) {
    if (progressiveSequence)
        return flags.repeatFirstField ? (flags.topFieldFirst ? 6 : 4) : 2;
    return flags.repeatFirstField ? 3 : 2;
}

// The slices start a row each, numbered from 1 by their start code; a picture cut short
// or with a slice start lost to damage lacks a row, which the decoder would only conceal.
bool hasEveryRow(const SourcePicture& picture, const AvcodecPictureCodec::Form& form) {
    const int rows =
        form.progressiveSequence ? (form.height + 15) / 16 : 2 * ((form.height + 31) / 32);
    if (rows <= 0 || rows > kLastSliceCode)
        return false;
    return std::all_of(picture.sliceRows.begin(), picture.sliceRows.begin() + rows,
                       [](bool seen) { return seen; });
}

// Splits the stream into pictures and reads the headers the decoder does not report.
std::vector<SourcePicture> splitPictures(const Bytes& stream, AvcodecPictureCodec::Form& form) {
    std::vector<SourcePicture> pictures;
    const std::uint8_t* data = stream.data();
    const std::size_t size = stream.size();
    bool haveSequence = false;
    bool haveExtension = false;
    bool inSequence = false;
    int group = -1;
    bool closedGroup = false;
    bool brokenLink = false;
    std::optional<std::size_t> headersStart;
    SourcePicture* open = nullptr;
    for (const std::size_t at : startCodes(data, size)) {
        const std::uint8_t code = data[at + 3];
        const bool ends = code == kPictureCode || code == kSequenceCode || code == kGroupCode ||
                          code == kSequenceEndCode;
        if (ends && open) {
            open->end = at;
            open = nullptr;
        }
        if (code == kSequenceCode) {
            headersStart = headersStart.value_or(at);
            if (at + 8 > size)
                continue;
            inSequence = true;
            if (!haveSequence) {
                haveSequence = true;
                form.width = (data[at + 4] << 4) | (data[at + 5] >> 4);
                form.height = ((data[at + 5] & 0x0f) << 8) | data[at + 6];
                form.aspectCode = data[at + 7] >> 4;
                form.frameRateCode = data[at + 7] & 0x0f;
            }
        } else if (code == kExtensionCode && at + 9 <= size) {
            const int id = data[at + 4] >> 4;
            if (id == kSequenceExtension && haveSequence && !haveExtension) {
                haveExtension = true;
                form.progressiveSequence = (data[at + 5] & 0x08) != 0;
                form.chromaFormat = (data[at + 5] >> 1) & 3;
            } else if (id == kPictureCodingExtension && open) {
                open->flags.topFieldFirst = (data[at + 7] & 0x80) != 0;
                open->flags.repeatFirstField = (data[at + 7] & 0x02) != 0;
                open->flags.progressiveFrame = (data[at + 8] & 0x80) != 0;
            }
        } else if (code == kGroupCode) {
            headersStart = headersStart.value_or(at);
            ++group;
            closedGroup = at + 8 <= size && (data[at + 7] & 0x40) != 0;
            brokenLink = at + 8 <= size && (data[at + 7] & 0x20) != 0;
        } else if (code == kPictureCode) {
            SourcePicture& picture = pictures.emplace_back();
            picture.begin = headersStart.value_or(at);
            picture.pictureCode = at;
            picture.end = size;
            if (at + 6 <= size) {
                picture.temporalReference = (data[at + 4] << 2) | (data[at + 5] >> 6);
                picture.type = (data[at + 5] >> 3) & 7;
            }
            picture.group = group;
            picture.closedGroup = closedGroup;
            picture.brokenLink = brokenLink;
            picture.inSequence = inSequence;
            headersStart.reset();
            open = &picture;
        } else if (code == kSequenceEndCode) {
            headersStart.reset();
            inSequence = false;
        } else if (code >= 0x01 && code <= kLastSliceCode && open) {
            open->sliceRows[code - 1] = true;
        }
    }
    if (!haveExtension)
        form.chromaFormat = 0;
    return pictures;
}

// A PES header's time stands for the first picture whose start code begins in its payload.
void giveChunkTimes(std::vector<SourcePicture>& pictures,
                    const std::vector<std::size_t>& chunkStarts,
                    std::span<const PictureCodec::Chunk> chunks) {
    std::vector<bool> used(chunks.size());
    for (SourcePicture& picture : pictures) {
        const auto after =
            std::upper_bound(chunkStarts.begin(), chunkStarts.end(), picture.pictureCode);
        const auto chunk = static_cast<std::size_t>(after - chunkStarts.begin()) - 1;
        if (!used[chunk] && chunks[chunk].pts) {
            picture.pts = chunks[chunk].pts;
            used[chunk] = true;
        }
    }
}

// Pictures without a time of their own are timed from the nearest one that has one, by
// the fields shown between them in display order, so soft pulldown is counted right.
void fillTimes(std::vector<SourcePicture>& pictures, const AvcodecPictureCodec::Form& form) {
    std::vector<std::size_t> order(pictures.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::tie(pictures[a].group, pictures[a].temporalReference) <
               std::tie(pictures[b].group, pictures[b].temporalReference);
    });
    AVRational rate = frameRate(form.frameRateCode);
    if (rate.num == 0)
        rate = {25, 1};
    std::vector<std::int64_t> fieldsBefore(order.size() + 1, 0);
    for (std::size_t k = 0; k < order.size(); ++k)
        fieldsBefore[k + 1] =
            fieldsBefore[k] + fieldsShown(pictures[order[k]].flags, form.progressiveSequence);
    const auto ticks = [&](std::int64_t fields) {
        return (fields * 90000 * rate.den + rate.num) / (2 * rate.num);
    };
    std::optional<std::size_t> anchor;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (pictures[order[k]].pts) {
            anchor = k;
        } else if (anchor) {
            pictures[order[k]].pts =
                *pictures[order[*anchor]].pts + ticks(fieldsBefore[k] - fieldsBefore[*anchor]);
        }
    }
    anchor.reset();
    for (std::size_t k = order.size(); k-- > 0;) {
        if (pictures[order[k]].pts) {
            anchor = k;
        } else {
            const std::int64_t base = anchor ? *pictures[order[*anchor]].pts : 0;
            const std::size_t from = anchor.value_or(0);
            pictures[order[k]].pts = base - ticks(fieldsBefore[from] - fieldsBefore[k]);
        }
    }
}

// Whether each picture decoded whole: itself clean, and the pictures it predicts from too.
std::vector<bool> wholePictures(const std::vector<SourcePicture>& pictures,
                                const AvcodecPictureCodec::Form& form) {
    std::vector<bool> whole(pictures.size());
    std::vector<bool> references; // of the I and P pictures so far, in coding order
    int group = -2;
    int referencesInGroup = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const SourcePicture& picture = pictures[i];
        if (picture.group != group) {
            group = picture.group;
            referencesInGroup = 0;
        }
        bool clean = picture.inSequence && picture.frame && !picture.sendFailed &&
                     hasEveryRow(picture, form);
        const std::size_t seen = references.size();
        if (picture.type == 1) {
            references.push_back(clean);
        } else if (picture.type == 2) {
            clean = clean && seen >= 1 && references[seen - 1];
            references.push_back(clean);
        } else if (picture.type == 3) {
            // The B pictures just after a group's first I picture predict from the group
            // before, unless the group is closed; with a broken link that group is gone.
            const bool leading = referencesInGroup == 1;
            if (leading && picture.closedGroup)
                clean = clean && references[seen - 1];
            else if (leading && picture.brokenLink)
                clean = false;
            else
                clean = clean && seen >= 2 && references[seen - 1] && references[seen - 2];
        } else {
            clean = false;
        }
        if (picture.type == 1 || picture.type == 2)
            ++referencesInGroup;
        whole[i] = clean;
    }
    return whole;
}

void takeFrames(AVCodecContext* context, std::vector<SourcePicture>& pictures) {
    for (;;) {
        Frame frame(av_frame_alloc());
        if (!frame || avcodec_receive_frame(context, frame.get()) != 0)
            return;
        const std::int64_t index = frame->pts;
        if (index < 0 || index >= static_cast<std::int64_t>(pictures.size()))
            continue;
        SourcePicture& picture = pictures[static_cast<std::size_t>(index)];
        if (picture.frame || frame->decode_error_flags != 0 ||
            (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0)
            continue;
        picture.frame = frame.release();
    }
}

// The encoder's form of the picture flags: every combination the source may have is
// written unless it would break the stream's rules, where a repeated field gives way.
FieldFlags fitFlags(FieldFlags flags, bool progressiveSequence, bool framePredFrameDct) {
    if (progressiveSequence) {
        flags.progressiveFrame = true;
        if (!flags.repeatFirstField)
            flags.topFieldFirst = false;
    }
    if (flags.progressiveFrame && !framePredFrameDct)
        flags.progressiveFrame = false;
    if (!flags.progressiveFrame)
        flags.repeatFirstField = false;
    return flags;
}

// Sets the headers of one encoded picture to the source's form and the source picture's
// flags; returns its picture coding type, 0 when it has no picture header.
int patchPicture(Bytes& bytes, const AvcodecPictureCodec::Form& form, const FieldFlags& flags) {
    int type = 0;
    const std::size_t size = bytes.size();
    for (const std::size_t at : startCodes(bytes.data(), size)) {
        const std::uint8_t code = bytes[at + 3];
        if (code == kSequenceCode && at + 8 <= size) {
            bytes[at + 7] = static_cast<std::uint8_t>((form.aspectCode << 4) | form.frameRateCode);
        } else if (code == kGroupCode && at + 8 <= size) {
            // Closed, and whole: its first pictures need nothing from before.
            bytes[at + 7] = static_cast<std::uint8_t>((bytes[at + 7] | 0x40) & ~0x20);
        } else if (code == kPictureCode && at + 6 <= size) {
            type = (bytes[at + 5] >> 3) & 7;
        } else if (code == kExtensionCode && at + 9 <= size) {
            const int id = bytes[at + 4] >> 4;
            if (id == kSequenceExtension) {
                bytes[at + 5] = static_cast<std::uint8_t>((bytes[at + 5] & ~0x08) |
                                                          (form.progressiveSequence ? 0x08 : 0));
            } else if (id == kPictureCodingExtension) {
                const FieldFlags fit =
                    fitFlags(flags, form.progressiveSequence, (bytes[at + 7] & 0x40) != 0);
                std::uint8_t b = bytes[at + 7] & ~(0x80 | 0x02 | 0x01);
                b |= fit.topFieldFirst ? 0x80 : 0;
                b |= fit.repeatFirstField ? 0x02 : 0;
                b |= fit.progressiveFrame ? 0x01 : 0; // chroma_420_type follows the frame
                bytes[at + 7] = b;
                bytes[at + 8] = static_cast<std::uint8_t>((bytes[at + 8] & ~0x80) |
                                                          (fit.progressiveFrame ? 0x80 : 0));
            }
        }
    }
    return type;
}

// The pixel shape that makes the encoder write the source's display aspect ratio code.
AVRational sampleAspect(const AvcodecPictureCodec::Form& form) {
    static constexpr AVRational shapes[] = {{1, 1}, {1, 1}, {4, 3}, {16, 9}, {221, 100}};
    if (form.aspectCode < 2 || form.aspectCode > 4)
        return {1, 1};
    const AVRational shape = shapes[form.aspectCode];
    AVRational sample{};
    av_reduce(&sample.num, &sample.den, std::int64_t{shape.num} * form.height,
              std::int64_t{shape.den} * form.width, 1 << 30);
    return sample;
}

PictureCodec::Result failed(std::string why) {
    return {{}, std::move(why)};
}

} // namespace

void AvcodecPictureCodec::FrameFree::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

AvcodecPictureCodec::AvcodecPictureCodec() = default;
AvcodecPictureCodec::~AvcodecPictureCodec() = default;

namespace {

// Picture buffers for the decoder, not cleared first: it writes every pixel before it reads
// one, and clearing the buffers of a few dozen pictures cost as much as decoding them.
int unclearedBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    if (!(context->codec->capabilities & AV_CODEC_CAP_DR1))
        return avcodec_default_get_buffer2(context, frame, flags);
    const int width = frame->width;
    const int height = frame->height;
    int paddedWidth = width;
    int paddedHeight = height;
    int align[AV_NUM_DATA_POINTERS];
    avcodec_align_dimensions2(context, &paddedWidth, &paddedHeight, align);
    frame->width = paddedWidth;
    frame->height = paddedHeight;
    const int result = av_frame_get_buffer(frame, 64);
    frame->width = width;
    frame->height = height;
    return result;
}

} // namespace

std::vector<PictureCodec::Picture> AvcodecPictureCodec::decode(std::span<const Chunk> chunks) {
    kept_.clear();
    form_ = Form{};
    Bytes stream;
    std::vector<std::size_t> chunkStarts;
    for (const Chunk& chunk : chunks) {
        chunkStarts.push_back(stream.size());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.bytes.data());
        stream.insert(stream.end(), bytes, bytes + chunk.bytes.size());
    }
    std::vector<SourcePicture> pictures = splitPictures(stream, form_);
    if (pictures.empty())
        return {};
    giveChunkTimes(pictures, chunkStarts, chunks);
    fillTimes(pictures, form_);

    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
    Context context(codec ? avcodec_alloc_context3(codec) : nullptr);
    Packet packet(av_packet_alloc());
    if (!context || !packet)
        return {};
    context->thread_count = 1;
    context->get_buffer2 = unclearedBuffer;
    // Damage is expected at a disc's scratches and answered by leaving pictures out; the
    // decoder's account of each broken slice is for verbose logs only.
    context->log_level_offset = AV_LOG_VERBOSE - AV_LOG_ERROR;
    // Errors the decoder sees are concealed and flagged on the frame, which is then left
    // out. Not AV_EF_EXPLODE: a failed picture would take the reference picture the
    // decoder still holds back for display with it, whole as that one is.
    context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return {};
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        SourcePicture& picture = pictures[i];
        if (!picture.inSequence || picture.end <= picture.begin)
            continue;
        const auto size = static_cast<int>(picture.end - picture.begin);
        if (av_new_packet(packet.get(), size) < 0)
            break;
        std::memcpy(packet->data, stream.data() + picture.begin, static_cast<std::size_t>(size));
        // The picture's place in coding order comes back on its frame, whatever the order
        // the decoder shows them in.
        packet->pts = static_cast<std::int64_t>(i);
        const int sent = avcodec_send_packet(context.get(), packet.get());
        av_packet_unref(packet.get());
        picture.sendFailed = sent < 0;
        takeFrames(context.get(), pictures);
    }
    avcodec_send_packet(context.get(), nullptr);
    takeFrames(context.get(), pictures);

    const std::vector<bool> whole = wholePictures(pictures, form_);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        std::unique_ptr<AVFrame, FrameFree> frame(pictures[i].frame);
        if (!whole[i])
            continue;
        const FieldFlags& flags = pictures[i].flags;
        kept_.push_back({{*pictures[i].pts, flags.topFieldFirst, flags.repeatFirstField,
                          flags.progressiveFrame},
                         std::move(frame)});
    }
    std::stable_sort(kept_.begin(), kept_.end(),
                     [](const Kept& a, const Kept& b) { return a.picture.pts < b.picture.pts; });
    std::vector<Picture> shown;
    for (const Kept& kept : kept_)
        shown.push_back(kept.picture);
    return shown;
}

PictureCodec::Result AvcodecPictureCodec::encode(std::int64_t firstPts, std::int64_t lastPts) {
    std::vector<const Kept*> range;
    for (const Kept& kept : kept_)
        if (kept.picture.pts >= firstPts && kept.picture.pts <= lastPts)
            range.push_back(&kept);
    if (range.empty())
        return failed("there are no whole pictures to encode at the clip's edge");
    const AVRational rate = frameRate(form_.frameRateCode);
    if (form_.chromaFormat != 1 || rate.num == 0)
        return failed("the pictures are in a form that cannot be encoded again");
    for (const Kept* kept : range)
        if (kept->frame->format != AV_PIX_FMT_YUV420P || kept->frame->width != form_.width ||
            kept->frame->height != form_.height)
            return failed("the pictures change size and cannot be encoded again");

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    Context context(codec ? avcodec_alloc_context3(codec) : nullptr);
    Packet packet(av_packet_alloc());
    if (!context || !packet)
        return failed("the pictures could not be encoded again");
    context->width = form_.width;
    context->height = form_.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->framerate = rate;
    context->time_base = av_inv_q(rate);
    context->sample_aspect_ratio = sampleAspect(form_);
    // DVD players take at most 15 pictures a group at 25 Hz, 18 at 29.97 Hz.
    context->gop_size = rate.num * 100 / rate.den > 2500 ? 18 : 15;
    context->max_b_frames = 0;
    context->flags |= AV_CODEC_FLAG_CLOSED_GOP;
    context->bit_rate = kMeanRate;
    context->rc_max_rate = kMaxRate;
    context->rc_buffer_size = kBufferBits;
    context->rc_initial_buffer_occupancy = kBufferBits * 3 / 4;
    context->qmin = 1;
    context->qmax = kHighestQuantiser;
    context->thread_count = 1;
    // A closed group must start where the group length says, never at a guessed scene cut.
    av_opt_set_int(context->priv_data, "sc_threshold", 1'000'000'000, 0);
    av_opt_set_int(context->priv_data, "intra_vlc", 1, 0);
    av_opt_set_int(context->priv_data, "non_linear_quant", 1, 0);
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return failed("the pictures could not be encoded again");

    std::vector<Bytes> coded(range.size());
    std::vector<bool> got(range.size());
    bool broken = false;
    const auto takePackets = [&] {
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            const std::int64_t index = packet->pts;
            if (index < 0 || index >= static_cast<std::int64_t>(range.size()) ||
                got[static_cast<std::size_t>(index)]) {
                broken = true;
            } else {
                got[static_cast<std::size_t>(index)] = true;
                coded[static_cast<std::size_t>(index)].assign(packet->data,
                                                              packet->data + packet->size);
            }
            av_packet_unref(packet.get());
        }
    };
    for (std::size_t i = 0; i < range.size() && !broken; ++i) {
        Frame frame(av_frame_clone(range[i]->frame.get()));
        if (!frame)
            return failed("the pictures could not be encoded again");
        frame->pts = static_cast<std::int64_t>(i);
        // The decoder's picture types and side data (pan and scan, captions) would steer
        // the encoder; it chooses its own types and writes plain headers.
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        while (frame->nb_side_data > 0)
            av_frame_remove_side_data(frame.get(), frame->side_data[0]->type);
        if (avcodec_send_frame(context.get(), frame.get()) < 0)
            broken = true;
        takePackets();
    }
    avcodec_send_frame(context.get(), nullptr);
    takePackets();
    if (broken || std::find(got.begin(), got.end(), false) != got.end())
        return failed("the pictures could not be encoded again");

    Result result;
    for (std::size_t i = 0; i < range.size(); ++i) {
        Bytes& bytes = coded[i];
        static constexpr std::uint8_t end[] = {0, 0, 1, kSequenceEndCode};
        if (bytes.size() >= 4 && std::equal(bytes.end() - 4, bytes.end(), end))
            bytes.resize(bytes.size() - 4);
        const Picture& source = range[i]->picture;
        const int type = patchPicture(
            bytes, form_, {source.topFieldFirst, source.repeatFirstField, source.progressiveFrame});
        if ((type != 1 && type != 2) || bytes.size() * 8 > kBufferBits)
            return failed("the pictures could not be encoded again");
        CodedPicture& picture = result.pictures.emplace_back();
        const auto* first = reinterpret_cast<const std::byte*>(bytes.data());
        picture.bytes.assign(first, first + bytes.size());
        picture.pts = source.pts;
        picture.type = type == 1 ? 'I' : 'P';
        picture.startsGroup = bytes.size() > 4 && bytes[3] == kSequenceCode;
    }
    return result;
}

} // namespace parvane
