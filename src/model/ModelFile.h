#pragma once
// The model file (*.mdl) of the survey system: a synthetic survey model of two
// boreholes a given distance apart, the depths reached in each, and spheres with
// physical properties. "&Model" reads one and builds, under the object whose menu
// it is, a group showing the spheres, the two boreholes as lines with depth labels
// and the plane between them.
//
// The file is ini text (lines end in CR LF, LF or CR):
//   [Geomentry]   Distance, FTransmitterTo, RReceiverTo, RTransmitterTo, FReceiverTo
//                 (default -1; the section name is spelled so)
//   [Spheres]     Count (default 0)
//   [Sphere_i]    Ro, Epsilon, Mu, Radius (default 0), X, Y, Z (default 0; Z is a
//                 depth, positive downward), for i = 1..Count
// Section and key names compare without regard to ASCII case, blanks around names
// and values are dropped, lines starting with ';' are comments, and of duplicate
// sections or keys the first counts. Every number may use '.' or ',' as its decimal
// separator, whatever the locale.
//
// Reading is all or nothing: the whole file is parsed before any object is made,
// and a value that is not a number is reported with its line; nothing is built.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/SurveyPoint.h"
#include "platform/LibraryErrors.h"

namespace qira {

class TGraphMain;
class TMemoryWatch;

// Depth labels stand every 100 m; a borehole deeper than this would need more
// labels than a view can hold, so such a file is refused.
inline constexpr double MaxModelDepth = 100000.0;

// A file that cannot be read as a model. what() is the text the user sees:
// "File " + name + ", line " + n + ": " + the system's message, e.g.
// "'1.5x' is not a valid floating point value".
class EModelFile : public Exception {
 public:
  EModelFile(const std::string& fileName, int lineNumber, const std::string& systemMessage);
  // 1-based line of the offending value.
  int LineNumber() const { return lineNumber_; }
  // The message without file and line.
  const std::string& SystemMessage() const { return systemMessage_; }

 private:
  int lineNumber_;
  std::string systemMessage_;
};

// Spheres of one property set, in file order.
struct TModelSphereGroup {
  double Ro = 0;
  double Epsilon = 0;
  double Mu = 0;
  double Radius = 0;
  std::vector<TSurveyPoint> Centres;  // (X, Y, -Z): Z turned into an elevation
};

struct TModelDescription {
  double Distance = -1;
  double Depth1 = -1;  // the greater of FTransmitterTo and RReceiverTo
  double Depth2 = -1;  // the greater of RTransmitterTo and FReceiverTo
  // Spheres of radius above 0, grouped by exactly equal (Ro, Epsilon, Mu, Radius);
  // groups in the order of their first sphere.
  std::vector<TModelSphereGroup> Groups;

  // True when distance and both depths are above 0 and a group exists: only then
  // is anything built.
  bool Buildable() const;
};

// Parses a model file's bytes (Windows-1252 or UTF-8). fileName (without folder)
// goes into the messages. Raises EModelFile for a value that is not a number (the
// float keys and X, Y, Z: "'<text>' is not a valid floating point value"; Count:
// "'<text>' is not a valid integer value") and for a depth above MaxModelDepth.
// With `watch`, the reading looks at what the process holds as it goes and is given
// up (an exception of the command's own) once the figures show its memory used up.
TModelDescription ParseModelText(std::string_view text, const std::string& fileName, TMemoryWatch* watch = nullptr);

// The memory the model's objects take once built and first drawn: its groups of
// spheres and their spheres, the boreholes with their labels and the plane; 0 for a
// model that builds nothing.
int64_t ModelBuildBytes(const TModelDescription& model);

// The model group, detached: named groupName, holding the groups "Boreholes"
// ("Borehole #1", "Borehole #2", each a line "Borehole", the depth labels
// "Label <d>" and the label "Name"), the plane "Plane" and the group "Spheres"
// ("Spheres 1", "Spheres 2", ...), every list in name order. Null when the model
// is not buildable.
std::unique_ptr<TGraphMain> CreateModelGroup(const TModelDescription& model, const std::string& groupName);

enum class TModelImport {
  Cancelled,       // no file was chosen
  Built,           // the model group was added
  NothingToBuild,  // the file was read but its geometry or spheres build nothing
  Failed,          // the file could not be opened or read; the user was told
};

// Reads the file at path and adds its model group sorted under target, with tree
// nodes and built, tree painting held back meanwhile. A file that cannot be opened
// shows "File " + name + " not found", an unreadable one its EModelFile text (both
// as errors); nothing is added then. A model the memory cannot import, even one too
// large to be read whole, is refused with what the whole import needs
// (ImportMemoryProblem), counted from what its text declares.
TModelImport ImportModelFile(TGraphMain& target, const std::string& path);

// "&Model": the open dialog ("Model files (*.mdl)|*.mdl|All files (*.*)|*.*",
// default extension "mdl"), then ImportModelFile.
TModelImport ModelClick(TGraphMain& target);

// Makes "&Model" in every object's menu run ModelClick.
void RegisterModelCommand();

}  // namespace qira
