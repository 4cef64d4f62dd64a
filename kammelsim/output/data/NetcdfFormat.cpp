#include "kammelsim/output/data/NetcdfFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace kammelsim::cdf {
namespace {

constexpr std::uint32_t kDimensionTag = 0x0a, kVariableTag = 0x0b, kAttributeTag = 0x0c;
constexpr std::int64_t kMostName = 256;  // netCDF's own limit on names

std::int64_t Padded(std::int64_t bytes) {
  return (bytes + 3) / 4 * 4;
}

void PutName(std::string& bytes, const std::string& name) {
  PutBig64(bytes, name.size());
  bytes += name;
  bytes.append(static_cast<std::size_t>(Padded(std::ssize(name)) - std::ssize(name)), '\0');
}

void PutAttributes(std::string& bytes, const std::vector<Attribute>& attributes) {
  PutBig32(bytes, attributes.empty() ? 0 : kAttributeTag);
  PutBig64(bytes, attributes.size());
  for (const Attribute& a : attributes) {
    PutName(bytes, a.name);
    PutBig32(bytes, static_cast<std::uint32_t>(a.type));
    PutBig64(bytes, static_cast<std::uint64_t>(a.count));
    bytes += a.values;
    bytes.append(static_cast<std::size_t>(Padded(std::ssize(a.values)) - std::ssize(a.values)),
                 '\0');
  }
}

void PutVariable(std::string& bytes, const Variable& v) {
  PutName(bytes, v.name);
  PutBig64(bytes, v.dimensions.size());
  for (const std::int64_t d : v.dimensions)
    PutBig64(bytes, static_cast<std::uint64_t>(d));
  PutAttributes(bytes, v.attributes);
  PutBig32(bytes, static_cast<std::uint32_t>(v.type));
  PutBig64(bytes, static_cast<std::uint64_t>(v.size));
  PutBig64(bytes, static_cast<std::uint64_t>(v.begin));
}

// Reads a header front to back; every count is checked against the bytes that are left before
// anything is made of that size.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  Decoded result = Decoded::Whole;

  bool Fail(Decoded why) {
    if (result == Decoded::Whole) result = why;
    return false;
  }
  bool Take(std::int64_t n, std::string_view& out) {
    if (n < 0) return Fail(Decoded::Foreign);
    if (n > std::ssize(bytes_) - at_) return Fail(Decoded::Truncated);
    out = bytes_.substr(static_cast<std::size_t>(at_), static_cast<std::size_t>(n));
    at_ += n;
    return true;
  }
  bool Big(int n, std::uint64_t& value) {
    std::string_view raw;
    if (!Take(n, raw)) return false;
    value = io::ReadBig(raw, raw.size());
    return true;
  }
  bool Count(std::int64_t& count) {
    std::uint64_t raw = 0;
    if (!Big(8, raw)) return false;
    if (raw > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
      return Fail(Decoded::Foreign);
    count = static_cast<std::int64_t>(raw);
    return true;
  }
  bool Name(std::string& name) {
    std::int64_t length = 0;
    std::string_view raw;
    if (!Count(length)) return false;
    if (length < 1 || length > kMostName) return Fail(Decoded::Foreign);
    if (!Take(Padded(length), raw)) return false;
    name.assign(raw.substr(0, static_cast<std::size_t>(length)));
    return true;
  }
  bool Type(cdf::Type& type) {
    std::uint64_t raw = 0;
    if (!Big(4, raw)) return false;
    type = static_cast<cdf::Type>(raw);
    if (raw != 2 && raw != 4 && raw != 6 && raw != 9 && raw != 10) return Fail(Decoded::Foreign);
    return true;
  }
  // A list's tag and length: ABSENT is a zero tag and a zero length.
  bool List(std::uint32_t tag, std::int64_t& count) {
    std::uint64_t raw = 0;
    if (!Big(4, raw) || !Count(count)) return false;
    if ((raw == 0 && count == 0) || (raw == tag && count > 0)) return true;
    return Fail(Decoded::Foreign);
  }
  bool Attributes(std::vector<Attribute>& attributes);
  bool Variables(const Header& header, std::vector<Variable>& variables);

 private:
  std::string_view bytes_;
  std::int64_t at_ = 0;
};

bool Reader::Attributes(std::vector<Attribute>& attributes) {
  std::int64_t count = 0;
  if (!List(kAttributeTag, count)) return false;
  for (std::int64_t n = 0; n < count; ++n) {
    Attribute a;
    std::string_view raw;
    if (!Name(a.name) || !Type(a.type) || !Count(a.count)) return false;
    if (a.count > (std::numeric_limits<std::int64_t>::max() - 3) / SizeOf(a.type))
      return Fail(Decoded::Foreign);
    const std::int64_t size = a.count * SizeOf(a.type);
    if (!Take(Padded(size), raw)) return false;
    a.values.assign(raw.substr(0, static_cast<std::size_t>(size)));
    attributes.push_back(std::move(a));
  }
  return true;
}

bool Reader::Variables(const Header& header, std::vector<Variable>& variables) {
  std::int64_t count = 0;
  if (!List(kVariableTag, count)) return false;
  for (std::int64_t n = 0; n < count; ++n) {
    Variable v;
    std::int64_t rank = 0, size = 0, begin = 0;
    if (!Name(v.name) || !Count(rank)) return false;
    for (std::int64_t d = 0; d < rank; ++d) {
      std::int64_t dimension = 0;
      if (!Count(dimension)) return false;
      if (dimension >= std::ssize(header.dimensions)) return Fail(Decoded::Foreign);
      v.dimensions.push_back(dimension);
    }
    if (!Attributes(v.attributes) || !Type(v.type) || !Count(size) || !Count(begin)) return false;
    v.size = size;
    v.begin = begin;
    variables.push_back(std::move(v));
  }
  return true;
}

}  // namespace

std::int64_t SizeOf(Type type) {
  switch (type) {
    case Type::Char:
      return 1;
    case Type::Int:
    case Type::UInt:
      return 4;
    case Type::Double:
    case Type::Int64:
      return 8;
  }
  return 1;
}

Attribute TextAttribute(std::string name, std::string_view text) {
  return {std::move(name), Type::Char, std::ssize(text), std::string(text)};
}

Attribute IntAttribute(std::string name, std::int32_t value) {
  Attribute a{std::move(name), Type::Int, 1, {}};
  PutBig32(a.values, static_cast<std::uint32_t>(value));
  return a;
}

Attribute Int64Attribute(std::string name, std::int64_t value) {
  Attribute a{std::move(name), Type::Int64, 1, {}};
  PutBig64(a.values, static_cast<std::uint64_t>(value));
  return a;
}

Attribute UIntAttribute(std::string name, std::uint32_t value) {
  Attribute a{std::move(name), Type::UInt, 1, {}};
  PutBig32(a.values, value);
  return a;
}

Attribute DoubleAttribute(std::string name, double value) {
  Attribute a{std::move(name), Type::Double, 1, {}};
  PutBig64(a.values, std::bit_cast<std::uint64_t>(value));
  return a;
}

const Attribute* Find(const std::vector<Attribute>& attributes, std::string_view name) {
  const auto found = std::find_if(attributes.begin(), attributes.end(),
                                  [name](const Attribute& a) { return a.name == name; });
  return found == attributes.end() ? nullptr : &*found;
}

std::string TextOf(const std::vector<Attribute>& attributes, std::string_view name) {
  const Attribute* a = Find(attributes, name);
  return a && a->type == Type::Char ? a->values : std::string();
}

bool Header::IsRecord(const Variable& variable) const {
  return !variable.dimensions.empty() &&
         dimensions[static_cast<std::size_t>(variable.dimensions.front())].length == 0;
}

std::string Encode(const Header& header) {
  std::string bytes = "CDF\x05";
  PutBig64(bytes, static_cast<std::uint64_t>(header.records));
  PutBig32(bytes, header.dimensions.empty() ? 0 : kDimensionTag);
  PutBig64(bytes, header.dimensions.size());
  for (const Dimension& d : header.dimensions) {
    PutName(bytes, d.name);
    PutBig64(bytes, static_cast<std::uint64_t>(d.length));
  }
  PutAttributes(bytes, header.attributes);
  PutBig32(bytes, header.variables.empty() ? 0 : kVariableTag);
  PutBig64(bytes, header.variables.size());
  for (const Variable& v : header.variables)
    PutVariable(bytes, v);
  return bytes;
}

Decoded Decode(std::string_view bytes, Header& header) {
  header = Header{};
  Reader reader(bytes);
  std::string_view magic;
  std::int64_t dimensions = 0;
  if (!reader.Take(4, magic)) return reader.result;
  if (magic != std::string_view("CDF\x05", 4)) return Decoded::Foreign;
  if (!reader.Count(header.records) || !reader.List(kDimensionTag, dimensions))
    return reader.result;
  for (std::int64_t n = 0; n < dimensions; ++n) {
    Dimension d;
    if (!reader.Name(d.name) || !reader.Count(d.length)) return reader.result;
    header.dimensions.push_back(std::move(d));
  }
  if (reader.Attributes(header.attributes)) reader.Variables(header, header.variables);
  return reader.result;
}

void Place(Header& header, std::int64_t start) {
  std::int64_t at = start;
  for (Variable& v : header.variables) {
    std::int64_t size = SizeOf(v.type);
    for (const std::int64_t d : v.dimensions)
      size *= std::max<std::int64_t>(header.dimensions[static_cast<std::size_t>(d)].length, 1);
    v.size = Padded(size);
    if (header.IsRecord(v)) continue;
    v.begin = at;
    at += v.size;
  }
  for (Variable& v : header.variables) {
    if (!header.IsRecord(v)) continue;
    v.begin = at;
    at += v.size;
  }
}

std::int64_t RecordStart(const Header& header) {
  std::int64_t start = std::numeric_limits<std::int64_t>::max();
  for (const Variable& v : header.variables) {
    if (header.IsRecord(v)) start = std::min(start, v.begin);
  }
  return start;
}

std::int64_t RecordSize(const Header& header) {
  std::int64_t size = 0;
  for (const Variable& v : header.variables) {
    if (header.IsRecord(v)) size += v.size;
  }
  return size;
}

std::int64_t DataStart(const Header& header) {
  std::int64_t start = std::numeric_limits<std::int64_t>::max();
  for (const Variable& v : header.variables)
    start = std::min(start, v.begin);
  return start;
}

}  // namespace kammelsim::cdf
