// What the play control asks of its container: the ambient properties it draws by. The shell
// answers from the client site; a control that is not sited has no one to ask.
#pragma once

namespace zu {

class AmbientProperties {
 public:
  // Ambient UserMode: true at run time; false at design time and when the container cannot say.
  virtual bool UserMode() = 0;

 protected:
  ~AmbientProperties() = default;
};

}  // namespace zu
