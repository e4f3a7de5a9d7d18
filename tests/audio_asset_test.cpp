// Music asset: decoding WAV, FLAC and MP3 in the file's own format, packed
// music that must be MP3, the playback states, the ownership of the device,
// and what the device really plays (SDL's disk and dummy drivers).
#include "data/audio_asset.h"
#include "data/demo_filesystem.h"
#include "support/console_capture.h"
#include "support/demo_dat_writer.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <SDL.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

double test_signal(long frame, int channel, int rate)
{
    return 0.5 * std::sin(2.0 * M_PI * (220.0 + 110.0 * channel) * static_cast<double>(frame) / rate);
}

// Writes `frames` frames of the test signal with libsndfile.
void write_music(const std::string& path, int format, int channels, int rate, long frames)
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (long f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(f * channels + c)] = static_cast<float>(test_signal(f, c, rate));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One sample of a device buffer as a value in [-1, 1).
double sample_value(const Uint8* bytes, SDL_AudioFormat format, size_t index)
{
    switch (format) {
    case AUDIO_U8: return (bytes[index] - 128) / 128.0;
    case AUDIO_S8: return static_cast<int8_t>(bytes[index]) / 128.0;
    case AUDIO_S16SYS: return reinterpret_cast<const int16_t*>(bytes)[index] / 32768.0;
    case AUDIO_S32SYS: return reinterpret_cast<const int32_t*>(bytes)[index] / 2147483648.0;
    default: return reinterpret_cast<const float*>(bytes)[index];
    }
}

// Every music test runs in its own folder and, unless it says otherwise,
// on SDL's silent dummy driver so that no sound card is needed.
class music_test : public testing::Test {
protected:
    ~music_test() override
    {
        console_capture quiet;
        filesystem.close();
    }

    demo_filesystem& open_filesystem()
    {
        console_capture quiet;
        filesystem.open();
        return filesystem;
    }

    temp_dir folder;
    demo_filesystem filesystem;
    scoped_env driver{"SDL_AUDIODRIVER", "dummy"};
};

struct music_case {
    const char* label;
    const char* file;
    int format;
    int channels;
    int rate;
    SDL_AudioFormat device_format;
    double tolerance; // per sample against the written signal; < 0 for lossy music
};

void PrintTo(const music_case& c, std::ostream* out) { *out << c.label; }

const music_case loose_music[] = {
    {"wav_u8", "m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 22050, AUDIO_U8, 2.0 / 128},
    {"wav_16", "m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, AUDIO_S16SYS, 1e-4},
    {"wav_24", "m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, AUDIO_S32SYS, 1e-6},
    {"wav_32", "m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 11025, AUDIO_S32SYS, 1e-6},
    {"wav_float", "m.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 32000, AUDIO_F32SYS, 1e-6},
    {"flac_s8", "m.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, 1, 8000, AUDIO_S8, 2.0 / 128},
    {"flac_16", "m.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000, AUDIO_S16SYS, 1e-4},
    {"flac_24", "m.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 6, 96000, AUDIO_S32SYS, 1e-6},
    {"mp3_stereo", "m.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, AUDIO_F32SYS, -1},
    {"mp3_mono", "m.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 32000, AUDIO_F32SYS, -1},
};

class loose_music_load : public music_test, public testing::WithParamInterface<music_case> {};

// The device plays the file's own format, and the callback hands over the
// decoded music followed by silence.
TEST_P(loose_music_load, plays_in_the_files_own_format)
{
    const music_case& c = GetParam();
    const long frames = c.rate / 10;
    write_music(c.file, c.format, c.channels, c.rate, frames);
    audio_asset music;
    music.path = c.file;
    console_capture console;
    ASSERT_TRUE(music.load(open_filesystem()));
    EXPECT_EQ(console.take(), "");
    EXPECT_TRUE(music.loaded);
    const SDL_AudioSpec& spec = music.data->device_config;
    EXPECT_EQ(spec.format, c.device_format);
    EXPECT_EQ(spec.channels, c.channels);
    EXPECT_EQ(spec.freq, c.rate);

    // Pull the music through the callback in device-sized buffers (the
    // device is paused, so its thread does not call it meanwhile).
    const size_t frame_bytes = static_cast<size_t>(c.channels * SDL_AUDIO_BITSIZE(c.device_format) / 8);
    const size_t buffer_frames = 1000;
    std::vector<Uint8> played(frame_bytes * static_cast<size_t>(frames + 3 * buffer_frames), 0xA5);
    for (size_t at = 0; at < played.size(); at += frame_bytes * buffer_frames)
        audio_asset::data_callback(music.data.get(), played.data() + at,
                                   static_cast<int>(std::min(frame_bytes * buffer_frames, played.size() - at)));
    const size_t music_samples = static_cast<size_t>(frames * c.channels);
    const size_t total_samples = played.size() / (frame_bytes / static_cast<size_t>(c.channels));
    if (c.tolerance >= 0) {
        for (size_t i = 0; i < music_samples; ++i)
            ASSERT_NEAR(sample_value(played.data(), c.device_format, i),
                        test_signal(static_cast<long>(i) / c.channels, static_cast<int>(i) % c.channels, c.rate),
                        c.tolerance)
                << "sample " << i;
    } else {
        double peak = 0;
        for (size_t i = 0; i < music_samples; ++i)
            peak = std::max(peak, std::fabs(sample_value(played.data(), c.device_format, i)));
        EXPECT_GT(peak, 0.3);
    }
    // Lossy music may run a little longer than written; the last buffer is
    // past any encoder padding and must be pure silence.
    const size_t tail_from = played.size() - frame_bytes * buffer_frames;
    for (size_t i = tail_from; i < played.size(); ++i)
        ASSERT_EQ(played[i], spec.silence) << "byte " << i << " of " << total_samples << " samples";
    EXPECT_TRUE(music.unload());
    EXPECT_FALSE(music.loaded);
}

INSTANTIATE_TEST_SUITE_P(files, loose_music_load, testing::ValuesIn(loose_music),
                         [](const testing::TestParamInfo<music_case>& info) { return info.param.label; });

TEST_F(music_test, loose_file_that_is_missing_or_not_music_fails)
{
    folder.write("text.wav", std::string("RIFF but not really a wave file"));
    demo_filesystem& fs = open_filesystem();
    for (const char* path : {"missing.mp3", "text.wav"}) {
        audio_asset music;
        music.path = path;
        console_capture console;
        EXPECT_FALSE(music.load(fs)) << path;
        EXPECT_FALSE(music.loaded);
        EXPECT_EQ(console.take(), "");
        EXPECT_FALSE(music.play());
        EXPECT_TRUE(music.unload());
    }
}

struct packed_case {
    const char* label;
    int format;            // what is stored under "data/music"; 0 stores nothing
    const char* asked;
    bool result;
};

void PrintTo(const packed_case& c, std::ostream* out) { *out << c.label; }

const packed_case packed_music[] = {
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "data/music", true},
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, "data/music", false},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "data/music", false},
    {"mp3_other_name", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "data/Music", false},
    {"nothing_stored", 0, "data/music", false},
};

class packed_music_load : public music_test, public testing::WithParamInterface<packed_case> {};

TEST_P(packed_music_load, accepts_only_mp3)
{
    const packed_case& c = GetParam();
    demo_dat_writer archive;
    archive.add("data/demo.json", std::string("{}"));
    if (c.format) {
        write_music("source", c.format, 2, 44100, 4410);
        archive.add("data/music", read_bytes("source"));
        // The same music as a loose file must never be used in packed mode.
        folder.write(c.asked, read_bytes("source"));
    }
    archive.write();
    demo_filesystem& fs = open_filesystem();
    ASSERT_EQ(fs.get_mode(), demo_filesystem_packed);

    audio_asset music;
    music.path = c.asked;
    console_capture console;
    EXPECT_EQ(music.load(fs), c.result);
    EXPECT_EQ(console.take(), "");
    EXPECT_EQ(music.loaded, c.result);
    if (c.result) {
        EXPECT_EQ(music.data->device_config.format, AUDIO_F32SYS);
        EXPECT_EQ(music.data->device_config.channels, 2);
        EXPECT_EQ(music.data->device_config.freq, 44100);
        // Decoding reads the bytes kept in the block.
        std::vector<Uint8> buffer(4096 * 8);
        audio_asset::data_callback(music.data.get(), buffer.data(), static_cast<int>(buffer.size()));
        double peak = 0;
        for (size_t i = 0; i < buffer.size() / 4; ++i)
            peak = std::max(peak, std::fabs(sample_value(buffer.data(), AUDIO_F32SYS, i)));
        EXPECT_GT(peak, 0.3);
    }
    EXPECT_EQ(music.play(), c.result);
    EXPECT_TRUE(music.unload());
}

INSTANTIATE_TEST_SUITE_P(entries, packed_music_load, testing::ValuesIn(packed_music),
                         [](const testing::TestParamInfo<packed_case>& info) { return info.param.label; });

TEST_F(music_test, play_and_stop_need_a_loaded_asset_and_unload_is_idempotent)
{
    write_music("m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410);
    demo_filesystem& fs = open_filesystem();
    audio_asset music;
    music.path = "m.wav";
    EXPECT_FALSE(music.play());
    EXPECT_FALSE(music.stop());
    EXPECT_TRUE(music.unload());
    ASSERT_TRUE(music.load(fs));
    EXPECT_EQ(SDL_GetAudioDeviceStatus(music.data->device), SDL_AUDIO_PAUSED);
    EXPECT_TRUE(music.play());
    EXPECT_EQ(SDL_GetAudioDeviceStatus(music.data->device), SDL_AUDIO_PLAYING);
    EXPECT_TRUE(music.stop());
    EXPECT_EQ(SDL_GetAudioDeviceStatus(music.data->device), SDL_AUDIO_PAUSED);
    EXPECT_TRUE(music.unload());
    EXPECT_TRUE(music.unload());
    EXPECT_FALSE(music.loaded);
    EXPECT_FALSE(music.play());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u); // unload gave back the audio subsystem
}

TEST_F(music_test, copies_take_the_declaration_and_never_the_device)
{
    write_music("m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 44100);
    audio_asset declaration;
    declaration.name = "theme";
    declaration.path = "m.wav";
    audio_asset engine_music;
    engine_music = declaration;
    EXPECT_EQ(engine_music.name, "theme");
    EXPECT_EQ(engine_music.path, "m.wav");
    EXPECT_FALSE(engine_music.loaded);

    ASSERT_TRUE(engine_music.load(open_filesystem()));
    ASSERT_TRUE(engine_music.play());
    {
        audio_asset copy(engine_music);
        EXPECT_EQ(copy.name, "theme");
        EXPECT_FALSE(copy.loaded);
        EXPECT_FALSE(copy.play());
        declaration = engine_music; // assignment onto an unloaded asset leaves it unloaded
        EXPECT_FALSE(declaration.loaded);
    }
    // Destroying the copy left the source's device open and playing.
    EXPECT_EQ(SDL_GetAudioDeviceStatus(engine_music.data->device), SDL_AUDIO_PLAYING);
    EXPECT_TRUE(engine_music.unload());
}

// The device thread keeps reading while the asset goes away; the destructor
// must close the device before the block is freed (ASan watches this).
TEST_F(music_test, destroying_a_playing_asset_closes_its_device_first)
{
    write_music("m.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 48000, 48000);
    demo_filesystem& fs = open_filesystem();
    {
        audio_asset music;
        music.path = "m.flac";
        ASSERT_TRUE(music.load(fs));
        ASSERT_TRUE(music.play());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

TEST_F(music_test, loading_again_replaces_the_music)
{
    write_music("a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, 2205);
    write_music("b.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 4800);
    demo_filesystem& fs = open_filesystem();
    audio_asset music;
    music.path = "a.wav";
    ASSERT_TRUE(music.load(fs));
    music.path = "b.wav";
    ASSERT_TRUE(music.load(fs));
    EXPECT_EQ(music.data->device_config.format, AUDIO_F32SYS);
    EXPECT_EQ(music.data->device_config.freq, 48000);
    EXPECT_TRUE(music.unload());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

// What the device really played, captured by SDL's disk driver: the
// decoded music from its first frame, then silence once it has ended.
TEST_F(music_test, disk_driver_captures_the_music_from_its_first_frame)
{
    const int rate = 22050;
    const long frames = rate / 5; // 0.2 s of music, played for 0.5 s
    write_music("m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, rate, frames);
    const std::string capture = folder.path() + "/played.raw";
    scoped_env disk{"SDL_AUDIODRIVER", "disk"};
    scoped_env file{"SDL_DISKAUDIOFILE", capture.c_str()};
    size_t buffer_bytes = 0;
    {
        audio_asset music;
        music.path = "m.wav";
        ASSERT_TRUE(music.load(open_filesystem()));
        buffer_bytes = music.data->device_config.size;
        ASSERT_TRUE(music.play());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(music.unload());
    }
    ASSERT_GT(buffer_bytes, 0u);
    SF_INFO info{};
    SNDFILE* reference = sf_open("m.wav", SFM_READ, &info);
    ASSERT_NE(reference, nullptr);
    std::vector<int16_t> decoded(static_cast<size_t>(frames * 2));
    ASSERT_EQ(sf_readf_short(reference, decoded.data(), frames), frames);
    sf_close(reference);

    // A paused device writes whole buffers of silence; the device thread may
    // get to one before play, so the music starts at the first buffer that
    // is not all silence.
    const std::string played = read_bytes(capture);
    size_t start = 0;
    while (start + buffer_bytes <= played.size() &&
           played.find_first_not_of('\0', start) >= start + buffer_bytes)
        start += buffer_bytes;
    const size_t music_bytes = decoded.size() * sizeof(int16_t);
    ASSERT_GT(played.size(), start + music_bytes) << "the device played less than the music";
    EXPECT_EQ(std::memcmp(played.data() + start, decoded.data(), music_bytes), 0);
    EXPECT_EQ(played.find_first_not_of('\0', start + music_bytes), std::string::npos);
}

TEST_F(music_test, falls_back_to_the_dummy_driver_without_a_device)
{
    write_music("m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410);
    scoped_env missing{"SDL_AUDIODRIVER", "no-such-driver"};
    demo_filesystem& fs = open_filesystem();
    audio_asset music;
    music.path = "m.wav";
    console_capture console;
    ASSERT_TRUE(music.load(fs));
    EXPECT_EQ(console.take(), "- no audio device, playing without sound\n");
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "dummy");
    EXPECT_EQ(music.data->device_config.format, AUDIO_S16SYS);
    EXPECT_TRUE(music.play());
    EXPECT_TRUE(music.unload());
    // The override is gone: the next load tries the configured driver again.
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_AUDIODRIVER), "no-such-driver");
}

struct buffer_case {
    int rate;
    Uint16 frames;
};

// Buffers last at most 1/32 s: from 2048 Hz up that is 16 to 31 ms and at
// least 64 frames; below, down to a single frame.
TEST(audio_device_buffer_frames, sizes_the_buffer_by_time)
{
    const buffer_case cases[] = {{8, 1},        {20, 1},       {8000, 128},   {11025, 256},
                                 {44100, 1024}, {48000, 1024}, {96000, 2048}, {192000, 4096}};
    for (const buffer_case& c : cases) {
        const Uint16 frames = audio_device_buffer_frames(c.rate);
        EXPECT_EQ(frames, c.frames) << c.rate << " Hz";
        EXPECT_EQ(frames & (frames - 1), 0) << c.rate << " Hz: not a power of two";
    }
    EXPECT_EQ(audio_device_buffer_frames(0), 1);
    EXPECT_EQ(audio_device_buffer_frames(-44100), 1);
    EXPECT_EQ(audio_device_buffer_frames(2048), 64);
    EXPECT_EQ(audio_device_buffer_frames(2147483647), 32768);
}

class low_rate_music : public music_test, public testing::WithParamInterface<int> {};

// SDL's device thread sleeps one buffer at a time and closing the device
// waits for it: with a buffer of a fixed frame count, a 20 Hz music held the
// end of the demo for minutes.
TEST_P(low_rate_music, unloads_promptly_while_playing)
{
    const int rate = GetParam();
    write_music("slow.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, rate, rate * 10);
    audio_asset music;
    music.path = "slow.wav";
    ASSERT_TRUE(music.load(open_filesystem()));
    EXPECT_EQ(music.data->device_config.freq, rate);
    EXPECT_EQ(music.data->device_config.samples, audio_device_buffer_frames(rate));
    ASSERT_TRUE(music.play());
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the device thread is inside a buffer now
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(music.unload());
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - before;
    EXPECT_LT(waited.count(), 2.0) << "seconds to close the device";
}

INSTANTIATE_TEST_SUITE_P(rates, low_rate_music, testing::Values(8, 20),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "_hz"; });

} // namespace
