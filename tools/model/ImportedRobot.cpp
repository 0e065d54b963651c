#include "model/ImportedRobot.hpp"

#include <utility>

namespace corvane::tools {

ImportedRobot::ImportedRobot(std::string inputName, std::string source, DocumentPtr document,
                             MeshLocator meshes, int precision, SourceMap sourceMap)
    : inputName_(std::move(inputName)),
      source_(std::move(source)),
      document_(std::move(document)),
      meshes_(std::move(meshes)),
      precision_(precision),
      sourceMap_(std::move(sourceMap)) {}

const ModelOverview& ImportedRobot::overview() const {
    if (!overview_) overview_ = readModelOverview(*document_);
    return *overview_;
}

const UrdfElements& ImportedRobot::urdfElements() const {
    if (!urdfElements_) urdfElements_ = readUrdfElements(source_);
    return *urdfElements_;
}

const DescriptionFacts& ImportedRobot::descriptionFacts() const {
    if (!descriptionFacts_) descriptionFacts_ = readDescriptionFacts(source_, urdfElements());
    return *descriptionFacts_;
}

}  // namespace corvane::tools
