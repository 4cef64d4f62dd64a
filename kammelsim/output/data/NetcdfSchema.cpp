#include "kammelsim/output/data/NetcdfSchema.h"

#include <cctype>
#include <limits>

#include "kammelsim/output/data/StatsOutput.h"

namespace kammelsim {
namespace {

using cdf::Attribute;

constexpr const char* kReferences =
    "Nishimori, H. and Ouchi, N. (1993): Formation of ripple patterns and dunes by wind-blown "
    "sand. Physical Review Letters 71, 197-200, doi:10.1103/PhysRevLett.71.197";

constexpr const char* kComment =
    "Heights of Nishimori's cellular ripple model, one record per snapshot. x runs along the "
    "wind (downwind is increasing x), y across it. Grains and cells are counts, with units 1; "
    "each long_name says which. time counts the model's batches or steps since the start, not "
    "time since an epoch. The file is written record by record and its record count last, so "
    "a reader sees whole snapshots only.";

}  // namespace

// A parameter as parameter_name, typed so a reader can compute with it.
Attribute ParameterAttribute(const Parameter& parameter) {
  std::string key = "parameter_" + parameter.name;
  if (const auto* real = std::get_if<double>(&parameter.value))
    return cdf::DoubleAttribute(key, *real);
  if (const auto* whole = std::get_if<std::int64_t>(&parameter.value)) {
    if (*whole >= std::numeric_limits<std::int32_t>::min() &&
        *whole <= std::numeric_limits<std::int32_t>::max())
      return cdf::IntAttribute(key, static_cast<std::int32_t>(*whole));
    return cdf::Int64Attribute(key, *whole);
  }
  return cdf::TextAttribute(key, std::get<std::string>(parameter.value));
}

namespace {

// The provenance, in the global attributes CF asks for and ours.
std::vector<Attribute> GlobalAttributes(const NetcdfLayout& layout, const Provenance& provenance) {
  const bool bed = layout.model == analysis::Model::Bed;
  std::vector<Attribute> provenanceAttributes;
  std::string source = "kammelsim", history, command;
  for (const auto& [name, value] : provenance) {
    if (name == "Software")
      source = value;
    else if (name == "History")
      history = value;
    else if (name == "Command")
      command = value;
    else if (name == "Run")
      provenanceAttributes.push_back(cdf::TextAttribute("run_id", value));
    else if (name == "Seed" && provenance.seed)
      provenanceAttributes.push_back(cdf::UIntAttribute("seed", *provenance.seed));
    else if (name == "Parameters") {
      for (const Parameter& parameter : provenance.parameters)
        provenanceAttributes.push_back(ParameterAttribute(parameter));
    } else if (name != "Seed") {
      std::string key = name;
      for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      provenanceAttributes.push_back(cdf::TextAttribute(key, value));
    }
  }
  std::vector<Attribute> attributes = {
      cdf::TextAttribute("Conventions", "CF-1.8"),
      cdf::TextAttribute("title", bed ? "Sand ripples on a bed after Nishimori's cellular model"
                                      : "Sand ripples on a profile after Nishimori's cellular "
                                        "model"),
      cdf::TextAttribute("source", source),
      cdf::TextAttribute("history", history.empty() ? command : history),
      cdf::TextAttribute("references", kReferences),
      cdf::TextAttribute("comment", kComment),
      cdf::IntAttribute("kammel_format", kKammelFormat),
      cdf::TextAttribute("command", command),
  };
  attributes.insert(attributes.end(), provenanceAttributes.begin(), provenanceAttributes.end());
  return attributes;
}

cdf::Variable Variable(std::string name, std::vector<std::int64_t> dimensions, cdf::Type type,
                       std::string_view longName) {
  return {std::move(name),
          std::move(dimensions),
          {cdf::TextAttribute("units", "1"), cdf::TextAttribute("long_name", longName)},
          type};
}

// The statistics' variables over time: counts, cells and ratios all have units 1, so the
// long name carries the unit in words.
void AddStatistics(std::vector<cdf::Variable>& variables, const NetcdfLayout& layout) {
  for (const StatsField& field : StatsFields(layout.model)) {
    std::string longName = field.longName;
    if (std::string_view(field.unit) != "1") longName += std::string(", in ") + field.unit;
    variables.push_back(Variable(field.name, {0}, cdf::Type::Double, longName));
    // The lag in the time's unit, or every: against the statistics snapshot before.
    if (std::string_view(field.name).starts_with("speed")) {
      variables.back().attributes.push_back(layout.speedLag > 0
                                                ? cdf::Int64Attribute("lag", layout.speedLag)
                                                : cdf::TextAttribute("lag", "every"));
    }
  }
}

}  // namespace

cdf::Header DataFileHeader(const NetcdfLayout& layout, const Provenance& provenance) {
  const bool bed = layout.model == analysis::Model::Bed;
  cdf::Header header;
  header.dimensions.push_back({"time", 0});
  if (bed) header.dimensions.push_back({"y", layout.yCount});
  header.dimensions.push_back({"x", layout.xCount});
  const std::int64_t y = 1, x = bed ? 2 : 1;
  header.attributes = GlobalAttributes(layout, provenance);
  auto& v = header.variables;
  v.push_back(Variable("time", {0}, layout.wideTime ? cdf::Type::Int64 : cdf::Type::Int,
                       layout.unit + " run before the snapshot"));
  if (bed) {
    v.push_back(Variable("y", {y}, cdf::Type::Int, "column of the bed, across the wind, in cells"));
    v.back().attributes.push_back(cdf::TextAttribute("axis", "Y"));
  }
  v.push_back(Variable(
      "x", {x}, cdf::Type::Int,
      bed ? "row of the bed, along the wind, in cells" : "cell of the profile, along the wind"));
  v.back().attributes.push_back(cdf::TextAttribute("axis", "X"));
  v.push_back(Variable("height",
                       bed ? std::vector<std::int64_t>{0, y, x} : std::vector<std::int64_t>{0, x},
                       cdf::Type::Int, "sand height, in grains"));
  if (layout.stats) AddStatistics(v, layout);
  return header;
}

bool SameShape(const cdf::Header& file, const NetcdfLayout& layout) {
  const cdf::Header expected = DataFileHeader(layout, {});
  if (file.dimensions.size() != expected.dimensions.size() ||
      file.variables.size() != expected.variables.size()) {
    return false;
  }
  for (std::size_t d = 0; d < file.dimensions.size(); ++d) {
    if (file.dimensions[d].name != expected.dimensions[d].name ||
        file.dimensions[d].length != expected.dimensions[d].length) {
      return false;
    }
  }
  // Far beyond any header ours make; also keeps Place's sums from overflowing.
  const std::int64_t start = cdf::DataStart(file);
  if (start < 0 || start > (std::int64_t{1} << 40)) return false;
  cdf::Header placed = file;
  cdf::Place(placed, start);
  for (std::size_t n = 0; n < file.variables.size(); ++n) {
    const cdf::Variable &have = file.variables[n], &want = expected.variables[n];
    if (have.name != want.name || have.type != want.type || have.dimensions != want.dimensions ||
        have.begin != placed.variables[n].begin || have.size != placed.variables[n].size) {
      return false;
    }
  }
  return start >= static_cast<std::int64_t>(cdf::Encode(file).size());
}

}  // namespace kammelsim
