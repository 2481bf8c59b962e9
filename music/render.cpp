// Key and tempo renders: libmpg123 decodes, librubberband changes, libmp3lame encodes.
#include "render.h"

#include <lame/lame.h>
#include <mpg123.h>
#include <rubberband/RubberBandStretcher.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Raised whenever the render itself changes (engine, options, encoder settings), so that renders made
// the old way are not taken for new ones.
const int RENDER_VERSION = 1;
// Frames handed to each stage at a time: about a tenth of a second.
const size_t BLOCK = 4096;
// Longer songs are refused: a render of hours would fill the cache and the afternoon.
const long long LONGEST_SECONDS = 3 * 3600;
// The share of the progress the first pass (decoding the song for the stretcher to study) takes; the
// second pass (decoding again, changing, encoding) costs many times more.
const double STUDY_SHARE = 0.08;

std::string errnotext(const std::string& what)
{
    return what + ": " + strerror(errno);
}

// The song's decoder: interleaved float frames from libmpg123, quiet, the encoder's delay and padding
// dropped where the file's tag says (gapless).
class decoder {
public:
    ~decoder() { close(); }
    bool open(const std::string& path, std::string* error)
    {
        close();
        int err = MPG123_OK;
        handle = mpg123_new(nullptr, &err);
        if (!handle) {
            *error = std::string("cannot start the MP3 decoder: ") + mpg123_plain_strerror(err);
            return false;
        }
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
        // Floating-point samples at the file's own rate, whichever it is: asked for before the file is
        // opened, since the first frame is decoded on opening.
        mpg123_format_none(handle);
        const long* rates;
        size_t count;
        mpg123_rates(&rates, &count);
        for (size_t k = 0; k < count; k++)
            mpg123_format(handle, rates[k], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
        long r;
        int c, encoding;
        if (mpg123_open(handle, path.c_str()) != MPG123_OK || mpg123_getformat(handle, &r, &c, &encoding) != MPG123_OK) {
            *error = std::string("not an MP3 file that can be decoded: ") + mpg123_strerror(handle);
            return false;
        }
        if (r <= 0 || c < 1 || c > 2 || encoding != MPG123_ENC_FLOAT_32) {
            *error = "not an MP3 file that can be decoded to floating-point samples";
            return false;
        }
        rate = r;
        channels = c;
        return true;
    }
    // Frames in the song as its headers (or a scan of its frames) say; 0 when unknown.
    long long length()
    {
        mpg123_scan(handle);
        off_t n = mpg123_length(handle);
        return n > 0 ? (long long)n : 0;
    }
    // Reads up to BLOCK frames into buffer (BLOCK * channels floats). The number read, 0 at the end, -1
    // with *error set when the stream breaks or changes its rate or channels midway.
    long read(float* buffer, std::string* error)
    {
        for (;;) {
            size_t bytes = 0;
            int r = mpg123_read(handle, buffer, BLOCK * channels * sizeof(float), &bytes);
            long frames = long(bytes / (channels * sizeof(float)));
            if (r == MPG123_NEW_FORMAT) {
                long nr;
                int nc, ne;
                mpg123_getformat(handle, &nr, &nc, &ne);
                if (nr != rate || nc != channels) {
                    *error = "the song changes its sample rate or channels midway";
                    return -1;
                }
                if (frames == 0)
                    continue;
            } else if (r == MPG123_DONE) {
                return frames;
            } else if (r != MPG123_OK) {
                *error = std::string("the song cannot be decoded: ") + mpg123_strerror(handle);
                return -1;
            }
            if (frames > 0)
                return frames;
        }
    }
    long rate = 0;
    int channels = 0;

private:
    void close()
    {
        if (handle) {
            mpg123_close(handle);
            mpg123_delete(handle);
            handle = nullptr;
        }
    }
    mpg123_handle* handle = nullptr;
};

// The stretcher's messages would go to standard error; a render prints nothing.
struct silent : RubberBand::RubberBandStretcher::Logger {
    void log(const char*) override {}
    void log(const char*, double) override {}
    void log(const char*, double, double) override {}
};

void nowhere(const char*, va_list) {}

// The encoder, writing an MP3 with LAME's tag (encoder delay and padding) in its first frame.
class encoder {
public:
    ~encoder()
    {
        if (lame)
            lame_close(lame);
    }
    bool open(long rate, int channels, FILE* file, std::string* error)
    {
        out = file;
        {
            // lame_init fills shared tables the first time; two threads must not do that together.
            static std::mutex first;
            std::lock_guard<std::mutex> hold(first);
            lame = lame_init();
        }
        if (!lame) {
            *error = "cannot start the MP3 encoder";
            return false;
        }
        lame_set_errorf(lame, nowhere);
        lame_set_debugf(lame, nowhere);
        lame_set_msgf(lame, nowhere);
        lame_set_in_samplerate(lame, int(rate));
        lame_set_out_samplerate(lame, int(rate));
        lame_set_num_channels(lame, channels);
        lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
        // Variable bit rate at the quality of LAME's "-V 2": transparent for most music, about 190 kbit/s.
        lame_set_VBR(lame, vbr_default);
        lame_set_VBR_quality(lame, 2);
        lame_set_bWriteVbrTag(lame, 1);
        lame_set_write_id3tag_automatic(lame, 0);
        if (lame_init_params(lame) < 0) {
            *error = "the MP3 encoder refuses a sample rate of " + std::to_string(rate) + " Hz";
            return false;
        }
        return true;
    }
    bool write(const float* left, const float* right, size_t frames)
    {
        bytes.resize(frames * 5 / 4 + 7200);
        int n = lame_encode_buffer_ieee_float(lame, left, right ? right : left, int(frames), bytes.data(), int(bytes.size()));
        return n >= 0 && fwrite(bytes.data(), 1, size_t(n), out) == size_t(n);
    }
    // Flushes the last frames and writes the tag over the empty frame LAME left at the start for it.
    bool finish()
    {
        bytes.resize(7200);
        int n = lame_encode_flush(lame, bytes.data(), int(bytes.size()));
        if (n < 0 || fwrite(bytes.data(), 1, size_t(n), out) != size_t(n))
            return false;
        unsigned char tag[4096];
        size_t size = lame_get_lametag_frame(lame, tag, sizeof tag);
        if (size == 0 || size > sizeof tag)
            return false;
        return fflush(out) == 0 && fseek(out, 0, SEEK_SET) == 0 && fwrite(tag, 1, size, out) == size;
    }

private:
    lame_global_flags* lame = nullptr;
    FILE* out = nullptr;
    std::vector<unsigned char> bytes;
};

// A temporary file beside the target, removed unless kept.
class partfile {
public:
    explicit partfile(const std::string& target)
    {
        static std::atomic<unsigned> count{0};
        path = target + ".part" + std::to_string(getpid()) + "-" + std::to_string(count++);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0)
            file = fdopen(fd, "wb");
        if (fd >= 0 && !file)
            ::close(fd);
    }
    ~partfile()
    {
        if (file)
            fclose(file);
        if (!kept)
            unlink(path.c_str());
    }
    // Closes the file and renames it to target. false when either fails.
    bool keep(const std::string& target)
    {
        bool ok = fclose(file) == 0;
        file = nullptr;
        ok = ok && rename(path.c_str(), target.c_str()) == 0;
        kept = ok;
        return ok;
    }
    std::string path;
    FILE* file = nullptr;

private:
    bool kept = false;
};

bool isfile(const std::string& path, std::string* error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = errnotext(path);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = path + ": not a file";
        return false;
    }
    return true;
}

// Makes the folder and the folders above it. true when it is there.
bool makefolders(const std::string& path)
{
    for (size_t at = 1; at <= path.size(); at++)
        if (at == path.size() || path[at] == '/')
            if (mkdir(path.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST)
                return false;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool unchanged(songchange c)
{
    return c.key == 0 && c.tempo == 100;
}

bool validchange(songchange c)
{
    return c.key >= KEY_LOWEST && c.key <= KEY_HIGHEST && c.tempo >= TEMPO_SLOWEST && c.tempo <= TEMPO_FASTEST;
}

std::string rendercache()
{
    const char* xdg = getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/tralune";
    const char* home = getenv("HOME");
    if (home && home[0])
        return std::string(home) + "/.cache/tralune";
    return "";
}

std::string renderpath(const std::string& song, songchange c, std::string* error)
{
    std::string folder = rendercache();
    if (folder.empty()) {
        *error = "no folder to keep renders in: neither XDG_CACHE_HOME nor HOME is set";
        return "";
    }
    if (!isfile(song, error))
        return "";
    FILE* f = fopen(song.c_str(), "rb");
    if (!f) {
        *error = errnotext(song);
        return "";
    }
    // 64-bit FNV-1a over every byte, with the count beside it: a cache key, not a defence against
    // someone forging songs.
    unsigned long long hash = 0xcbf29ce484222325ULL, count = 0;
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
        for (size_t k = 0; k < n; k++)
            hash = (hash ^ buffer[k]) * 0x100000001b3ULL;
        count += n;
    }
    bool failed = ferror(f);
    fclose(f);
    if (failed) {
        *error = song + ": cannot be read";
        return "";
    }
    char name[128];
    snprintf(name, sizeof name, "/%016llx-%llu-key%+d-tempo%d-v%d.mp3", hash, count, c.key, c.tempo, RENDER_VERSION);
    return folder + name;
}

bool rendersong(const std::string& song, songchange c, const std::string& target, const renderprogress& progress,
                std::string* error)
{
    if (!validchange(c)) {
        *error = "the key must be from -6 to 6 semitones and the tempo from 75 to 125 %";
        return false;
    }
    if (!isfile(song, error))
        return false;
    static std::once_flag started;
    std::call_once(started, [] { mpg123_init(); });
    decoder in;
    if (!in.open(song, error))
        return false;
    const int channels = in.channels;
    long long expected = in.length(), limit = LONGEST_SECONDS * in.rate;
    if (expected > limit) {
        *error = "the song lasts over three hours";
        return false;
    }
    auto stopped = [&](double done) {
        if (progress && !progress(std::min(1.0, std::max(0.0, done)))) {
            *error = "stopped";
            return true;
        }
        return false;
    };

    using RubberBand::RubberBandStretcher;
    // Offline: the stretcher studies the whole song first and keeps its start in place. The finer
    // engine is the one made for voices and mixed music; the formants are kept so a voice moved in key
    // does not sound like a different singer. One thread, so that a render beside a playing song (in
    // the party) leaves the other core to the display.
    RubberBandStretcher::Options options = RubberBandStretcher::OptionProcessOffline |
                                           RubberBandStretcher::OptionEngineFiner |
                                           RubberBandStretcher::OptionThreadingNever |
                                           RubberBandStretcher::OptionChannelsTogether |
                                           RubberBandStretcher::OptionPitchHighQuality;
    if (c.key != 0)
        options |= RubberBandStretcher::OptionFormantPreserved;
    double timeratio = 100.0 / c.tempo, pitch = std::pow(2.0, c.key / 12.0);
    RubberBandStretcher stretcher(size_t(in.rate), size_t(channels), std::make_shared<silent>(), options, timeratio, pitch);
    stretcher.setMaxProcessSize(BLOCK);

    std::vector<float> frames(BLOCK * channels);
    std::vector<std::vector<float>> apart(channels, std::vector<float>(BLOCK));
    float* planes[2] = {apart[0].data(), apart[channels - 1].data()};
    // Deinterleaved for the stretcher. A broken frame's NaN would spread through the stretcher's
    // analysis and stop the encoder: it is silence instead.
    auto split = [&](long n) {
        for (long k = 0; k < n; k++)
            for (int ch = 0; ch < channels; ch++)
                apart[ch][k] = std::isfinite(frames[k * channels + ch]) ? frames[k * channels + ch] : 0.0f;
    };

    // First pass: the stretcher studies the whole song, and the frames are counted.
    long long total = 0;
    for (;;) {
        long n = in.read(frames.data(), error);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        total += n;
        if (total > limit) {
            *error = "the song lasts over three hours";
            return false;
        }
        split(n);
        stretcher.study(planes, size_t(n), false);
        if (stopped(STUDY_SHARE * total / std::max(expected, total)))
            return false;
    }
    if (total == 0) {
        *error = "the song holds no sound";
        return false;
    }
    stretcher.study(planes, 0, true);
    stretcher.setExpectedInputDuration(size_t(total));

    // Second pass: the song again, changed and encoded, cut or filled with silence to its exact length.
    if (!in.open(song, error))
        return false;
    partfile part(target);
    if (!part.file) {
        *error = errnotext(part.path);
        return false;
    }
    encoder out;
    if (!out.open(in.rate, channels, part.file, error))
        return false;
    const long long length = std::llround(total * timeratio);
    long long written = 0, fed = 0;
    std::vector<std::vector<float>> changed(channels, std::vector<float>(BLOCK));
    float* outplanes[2] = {changed[0].data(), changed[channels - 1].data()};
    auto drain = [&]() {
        for (;;) {
            int available = stretcher.available();
            if (available <= 0)
                return true;
            size_t n = stretcher.retrieve(outplanes, std::min<size_t>(size_t(available), BLOCK));
            size_t use = size_t(std::min<long long>((long long)n, length - written));
            if (use > 0 && !out.write(outplanes[0], channels > 1 ? outplanes[1] : nullptr, use))
                return false;
            written += use;
            if (n == 0)
                return true;
        }
    };
    bool ok = true;
    for (;;) {
        long n = in.read(frames.data(), error);
        if (n < 0)
            return false;
        // The song read again must be the song studied: a file changed meanwhile would misplace it.
        if (n == 0 || fed + n > total)
            break;
        split(n);
        fed += n;
        stretcher.process(planes, size_t(n), fed == total);
        if (!drain()) {
            ok = false;
            break;
        }
        if (stopped(STUDY_SHARE + (1 - STUDY_SHARE) * fed / total))
            return false;
    }
    if (ok && fed != total) {
        *error = "the song changed while it was being rendered";
        return false;
    }
    // Offline and on one thread, everything is ready once the last frames are in.
    ok = ok && drain();
    // The stretcher's output can end a few frames short of the exact length: silence makes it up.
    std::fill(changed[0].begin(), changed[0].end(), 0.0f);
    std::fill(changed[channels - 1].begin(), changed[channels - 1].end(), 0.0f);
    while (ok && written < length) {
        size_t n = size_t(std::min<long long>(BLOCK, length - written));
        ok = out.write(outplanes[0], channels > 1 ? outplanes[1] : nullptr, n);
        written += (long long)n;
    }
    if (!ok || !out.finish() || !part.keep(target)) {
        *error = errnotext(target);
        return false;
    }
    if (progress)
        progress(1);
    return true;
}

// Removes what renders killed before their end (the machine switched off, the program killed) left in
// the cache: temporary files a day old. A render under way touches its file many times a second.
static void sweep(const std::string& folder)
{
    DIR* d = opendir(folder.c_str());
    if (!d)
        return;
    time_t old = time(nullptr) - 24 * 3600;
    while (dirent* e = readdir(d)) {
        std::string path = folder + "/" + e->d_name;
        struct stat st;
        if (strstr(e->d_name, ".mp3.part") && stat(path.c_str(), &st) == 0 && st.st_mtime < old)
            unlink(path.c_str());
    }
    closedir(d);
}

bool cachedrender(const std::string& song, songchange c, const renderprogress& progress, std::string* path, bool* made,
                  std::string* error)
{
    *made = false;
    std::string target = renderpath(song, c, error);
    if (target.empty())
        return false;
    if (access(target.c_str(), R_OK) == 0) {
        *path = target;
        return true;
    }
    if (!makefolders(rendercache())) {
        *error = errnotext(rendercache());
        return false;
    }
    sweep(rendercache());
    if (!rendersong(song, c, target, progress, error))
        return false;
    *path = target;
    *made = true;
    return true;
}
