// capture_media.cpp -- reads captured videos back through ffmpeg and ffprobe for the capture tests
#include "capture_media.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

// Everything a command writes to its standard output.
static std::string commandOutput(const std::string &command) {
    std::string text;
    FILE *p = popen(command.c_str(), "r");
    if (!p)
        return text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        text.append(buffer, n);
    pclose(p);
    return text;
}

static std::string quoted(const std::string &s) {
    return "'" + s + "'";
}

MediaInfo probe(const std::string &file) {
    MediaInfo info;
    std::string text = commandOutput("ffprobe -v error -count_frames -show_entries "
                                     "stream=codec_type,codec_name,profile,width,height,r_frame_rate,nb_read_frames,"
                                     "color_space,color_primaries,color_transfer,color_range,sample_rate "
                                     "-of default=noprint_wrappers=1 " + quoted(file));
    std::istringstream lines(text);
    std::string line, type, codec, profile;
    // each stream's fields come in the order asked: codec_name before codec_type
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_name")
            codec = value;
        else if (key == "profile")
            profile = value;
        else if (key == "codec_type" && value == "video") {
            info.videoCodec = codec;
            info.videoProfile = profile;
        }
        else if (key == "codec_type" && value == "audio")
            info.audioCodec = codec;
        else if (key == "width")
            info.width = atoi(value.c_str());
        else if (key == "height")
            info.height = atoi(value.c_str());
        else if (key == "r_frame_rate" && value != "0/0")
            info.frameRate = value;
        else if (key == "nb_read_frames" && info.frames < 0 && value != "N/A")
            info.frames = atoll(value.c_str());
        else if (key == "color_space" && info.colorSpace.empty())
            info.colorSpace = value;
        else if (key == "color_primaries" && info.colorPrimaries.empty())
            info.colorPrimaries = value;
        else if (key == "color_transfer" && info.colorTransfer.empty())
            info.colorTransfer = value;
        else if (key == "color_range" && info.colorRange.empty())
            info.colorRange = value;
        else if (key == "sample_rate")
            info.audioRate = atoi(value.c_str());
    }
    info.audioSeconds = decodeSound(file).size() / 2 / 44100.0;
    return info;
}

std::vector<int16_t> decodeSound(const std::string &file) {
    std::string bytes = commandOutput("ffmpeg -v error -i " + quoted(file) +
                                      " -map 0:a:0 -f s16le -ar 44100 -ac 2 -");
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = int16_t(uint8_t(bytes[i * 2]) | uint8_t(bytes[i * 2 + 1]) << 8);
    return samples;
}

std::vector<std::vector<uint8_t>> decodeFrames(const std::string &file, int width, int height,
                                               const std::string &filter) {
    std::vector<std::vector<uint8_t>> frames;
    std::string vf = filter.empty() ? "" : " -vf " + quoted(filter);
    FILE *p = popen(("ffmpeg -v error -i " + quoted(file) + " -map 0:v:0" + vf + " -f rawvideo -pix_fmt rgb24 -").c_str(), "r");
    if (!p)
        return frames;
    std::vector<uint8_t> frame(size_t(width) * height * 3);
    while (fread(frame.data(), 1, frame.size(), p) == frame.size())
        frames.push_back(frame);
    pclose(p);
    return frames;
}

std::vector<std::string> frameHashes(const std::string &file) {
    std::vector<std::string> hashes;
    std::istringstream lines(commandOutput("ffmpeg -v error -i " + quoted(file) +
                                           " -map 0:v:0 -f framemd5 -pix_fmt rgb24 -"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        size_t comma = line.rfind(',');
        hashes.push_back(line.substr(line.find_first_not_of(' ', comma + 1)));
    }
    return hashes;
}

double meanDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
    if (a.size() != b.size() || a.empty())
        return 255;
    double sum = 0;
    for (size_t i = 0; i < a.size(); i++)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / a.size();
}

std::string readFileText(const std::string &file) {
    std::string text;
    FILE *f = fopen(file.c_str(), "rb");
    if (!f)
        return text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

bool writeFileBytes(const std::string &file, const std::vector<uint8_t> &bytes) {
    FILE *f = fopen(file.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

int runProgram(const std::string &program, const std::string &directory, const std::string &arguments,
               const std::string &name, const std::string &environment) {
    std::string command = "cd " + quoted(directory) + " && " + environment + " " + quoted(program) + " " +
                          arguments + " >" + quoted(name + ".out") + " 2>" + quoted(name + ".err");
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool writePicture(const std::string &file, const std::vector<uint8_t> &rgb, int width, int height) {
    std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -video_size " + std::to_string(width) +
                          "x" + std::to_string(height) + " -i - " + quoted(file);
    FILE *p = popen(command.c_str(), "w");
    if (!p)
        return false;
    bool ok = fwrite(rgb.data(), 1, rgb.size(), p) == rgb.size();
    return pclose(p) == 0 && ok;
}
