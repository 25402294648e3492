// The resource compiler: turns the program's resources into a C++ source
// file that registers them with the platform layer at start-up (the Linux
// stand-in for linking a compiled .rc file).
//
//   resource_compiler OUTPUT.cpp ENTRY...
//     bin:<id>:<file>               a custom "BIN" resource from a file
//     placeholder:<id>:<w>:<h>      a "BIN" JPEG of w x h made here (a skin
//                                   image whose artwork has not landed yet)
//     icon:<id>:<file.ico>          an icon group (the .ico file's bytes)
//     string:<id>:<text>            a string-table entry
//   resource_compiler --write-icon FILE.ico
//                                   writes the program's 32 x 32 icon
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Entry {
  std::string typeName;  // "BIN" or empty
  int typeId = 0;
  int id = 0;
  std::vector<uint8_t> bytes;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// A calm two-tone picture with a frame, so a placeholder is recognisable on
// screen: the hue follows the id.
std::vector<uint8_t> PlaceholderJpeg(int id, int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint8_t r = static_cast<uint8_t>(60 + (id * 53) % 150);
  uint8_t g = static_cast<uint8_t>(60 + (id * 97) % 150);
  uint8_t b = static_cast<uint8_t>(60 + (id * 31) % 150);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bool frame = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
      int shade = frame ? 40 : 100 + 60 * y / std::max(1, height);
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(r * shade / 160);
      p[1] = static_cast<uint8_t>(g * shade / 160);
      p[2] = static_cast<uint8_t>(b * shade / 160);
    }
  }
  jpeg_compress_struct compress;
  jpeg_error_mgr errors;
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compress, &buffer, &size);
  compress.image_width = static_cast<JDIMENSION>(width);
  compress.image_height = static_cast<JDIMENSION>(height);
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_set_quality(&compress, 90, TRUE);
  jpeg_start_compress(&compress, TRUE);
  while (compress.next_scanline < compress.image_height) {
    JSAMPROW row = &rgb[static_cast<size_t>(compress.next_scanline) * width * 3];
    jpeg_write_scanlines(&compress, &row, 1);
  }
  jpeg_finish_compress(&compress);
  std::vector<uint8_t> jpeg(buffer, buffer + size);
  jpeg_destroy_compress(&compress);
  std::free(buffer);
  return jpeg;
}

void Put16(std::vector<uint8_t>* out, unsigned v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The program icon: a framed photograph (sky, hills, sun) on a dark tile,
// as a 32-bit .ico with its AND mask.
std::vector<uint8_t> ProgramIcon() {
  const int size = 32;
  std::vector<uint8_t> bgra(size * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      uint8_t* p = &bgra[(static_cast<size_t>(y) * size + x) * 4];
      bool tile = x >= 1 && y >= 1 && x < size - 1 && y < size - 1;
      bool photo = x >= 5 && y >= 7 && x < size - 5 && y < size - 7;
      bool frame = x >= 4 && y >= 6 && x < size - 4 && y < size - 6 && !photo;
      int hill = 20 + (x - 16) * (x - 16) / 24;
      int sunX = x - 20, sunY = y - 12;
      uint8_t r = 40, g = 44, b = 52;  // tile
      if (frame) r = g = b = 235;
      if (photo) {
        r = 110; g = 170; b = 230;  // sky
        if (sunX * sunX + sunY * sunY <= 9) { r = 255; g = 210; b = 60; }
        if (y >= hill) { r = 70; g = 150; b = 80; }
      }
      p[0] = b;
      p[1] = g;
      p[2] = r;
      p[3] = tile ? 255 : 0;
    }
  }
  std::vector<uint8_t> ico;
  uint32_t maskRow = 4;  // 32 bits, already a multiple of 4 bytes
  uint32_t imageBytes = 40 + size * size * 4 + maskRow * size;
  Put16(&ico, 0);
  Put16(&ico, 1);
  Put16(&ico, 1);
  ico.push_back(size);
  ico.push_back(size);
  ico.push_back(0);
  ico.push_back(0);
  Put16(&ico, 1);
  Put16(&ico, 32);
  Put32(&ico, imageBytes);
  Put32(&ico, 6 + 16);
  Put32(&ico, 40);
  Put32(&ico, size);
  Put32(&ico, size * 2);  // colour rows and mask rows
  Put16(&ico, 1);
  Put16(&ico, 32);
  for (int i = 0; i < 6; ++i) Put32(&ico, 0);
  for (int y = size - 1; y >= 0; --y) {
    ico.insert(ico.end(), &bgra[static_cast<size_t>(y) * size * 4],
               &bgra[static_cast<size_t>(y + 1) * size * 4]);
  }
  for (int y = size - 1; y >= 0; --y) {
    uint32_t bits = 0;
    for (int x = 0; x < size; ++x) {
      if (bgra[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) bits |= 0x80000000u >> x;
    }
    ico.push_back(static_cast<uint8_t>(bits >> 24));
    ico.push_back(static_cast<uint8_t>(bits >> 16));
    ico.push_back(static_cast<uint8_t>(bits >> 8));
    ico.push_back(static_cast<uint8_t>(bits));
  }
  return ico;
}

std::vector<std::string> Split(const std::string& text, size_t parts) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() + 1 < parts) {
    size_t colon = text.find(':', start);
    if (colon == std::string::npos) break;
    fields.push_back(text.substr(start, colon - start));
    start = colon + 1;
  }
  fields.push_back(text.substr(start));
  return fields;
}

bool ParseEntry(const std::string& argument, Entry* entry) {
  std::string kind = argument.substr(0, argument.find(':'));
  if (kind == "bin" || kind == "icon") {
    std::vector<std::string> f = Split(argument, 3);
    if (f.size() != 3) return false;
    entry->id = std::atoi(f[1].c_str());
    if (kind == "bin") {
      entry->typeName = "BIN";
    } else {
      entry->typeId = 14;  // RT_GROUP_ICON
    }
    return ReadFile(f[2], &entry->bytes);
  }
  if (kind == "placeholder") {
    std::vector<std::string> f = Split(argument, 4);
    if (f.size() != 4) return false;
    entry->typeName = "BIN";
    entry->id = std::atoi(f[1].c_str());
    int width = std::atoi(f[2].c_str());
    int height = std::atoi(f[3].c_str());
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return false;
    entry->bytes = PlaceholderJpeg(entry->id, width, height);
    return true;
  }
  if (kind == "string") {
    std::vector<std::string> f = Split(argument, 3);
    if (f.size() != 3) return false;
    entry->typeId = 6;  // RT_STRING
    entry->id = std::atoi(f[1].c_str());
    entry->bytes.assign(f[2].begin(), f[2].end());
    return true;
  }
  return false;
}

std::string Source(const std::vector<Entry>& entries) {
  std::ostringstream out;
  out << "// Generated by resources/tools/resource_compiler: do not edit.\n"
      << "#include \"platform/resources_internal.h\"\n\nnamespace {\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    out << "const uint8_t kData" << i << "[] = {";
    const std::vector<uint8_t>& bytes = entries[i].bytes;
    for (size_t j = 0; j < bytes.size(); ++j) {
      if (j % 24 == 0) out << "\n ";
      out << ' ' << static_cast<unsigned>(bytes[j]) << ',';
    }
    if (bytes.empty()) out << "0";
    out << "\n};\n";
  }
  out << "const platform::ResourceEntry kEntries[] = {\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    out << "    {" << (e.typeName.empty() ? "nullptr" : "\"" + e.typeName + "\"") << ", "
        << e.typeId << ", " << e.id << ", kData" << i << ", " << e.bytes.size() << "},\n";
  }
  out << "};\n"
      << "struct Registrar {\n"
      << "  Registrar() { platform::RegisterProgramResources(kEntries, " << entries.size()
      << "); }\n"
      << "} registrar;\n"
      << "}  // namespace\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-icon") {
    std::vector<uint8_t> icon = ProgramIcon();
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
    return out ? 0 : 1;
  }
  if (argc < 2) {
    std::cerr << "usage: resource_compiler OUTPUT.cpp ENTRY...\n";
    return 2;
  }
  std::vector<Entry> entries;
  for (int i = 2; i < argc; ++i) {
    Entry entry;
    if (!ParseEntry(argv[i], &entry)) {
      std::cerr << "resource_compiler: cannot use " << argv[i] << "\n";
      return 1;
    }
    entries.push_back(entry);
  }
  std::string source = Source(entries);
  std::string output = argv[1];
  std::ofstream out(output + ".new", std::ios::binary);
  out << source;
  out.close();
  if (!out || std::rename((output + ".new").c_str(), output.c_str()) != 0) {
    std::cerr << "resource_compiler: cannot write " << output << "\n";
    return 1;
  }
  return 0;
}
