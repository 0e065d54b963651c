// One input of the tool after its import: the text as read, the document the plugin made of it,
// and everything the views and checks read of the two, each made at most once and only when
// asked for, so that a summary, the checks and a picture of the same input share one reading.
#pragma once

#include <corvane/Syntax.hpp>
#include <optional>
#include <string>

#include "model/DescriptionFacts.hpp"
#include "model/MeshLocator.hpp"
#include "model/ModelOverview.hpp"
#include "model/UrdfElements.hpp"
#include "model/XacroInput.hpp"

namespace corvane::tools {

class ImportedRobot {
  public:
    // `document` is what importing `source` gave (never null); `meshes` finds its mesh files.
    // `precision` is the number of decimals the import wrote real literals with; `sourceMap`
    // tells where a xacro input's expanded lines were written (empty for URDF).
    ImportedRobot(std::string inputName, std::string source, DocumentPtr document,
                  MeshLocator meshes, int precision = 10, SourceMap sourceMap = {});

    // How messages name the input ("<stdin>" for standard input).
    const std::string& inputName() const { return inputName_; }
    // The URDF text as read, or as expanded from xacro.
    const std::string& source() const { return source_; }
    // For a xacro input, where each element of `source()` was written; empty otherwise.
    const SourceMap& sourceMap() const { return sourceMap_; }
    const Document& document() const { return *document_; }
    const MeshLocator& meshes() const { return meshes_; }
    int precision() const { return precision_; }

    // The document read once.
    const ModelOverview& overview() const;
    // The text's own elements and lines, read once with TinyXML as urdfdom reads it.
    const UrdfElements& urdfElements() const;
    // What the description holds that the model lacks (reads the text with urdfdom).
    const DescriptionFacts& descriptionFacts() const;

  private:
    std::string inputName_;
    std::string source_;
    DocumentPtr document_;
    MeshLocator meshes_;
    int precision_;
    SourceMap sourceMap_;
    mutable std::optional<ModelOverview> overview_;
    mutable std::optional<UrdfElements> urdfElements_;
    mutable std::optional<DescriptionFacts> descriptionFacts_;
};

}  // namespace corvane::tools
