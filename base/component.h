// TComponent: the component base of the service classes. A component with an owner is freed
// by that owner; one created without an owner is freed by whoever created it.
#pragma once

#include <string>
#include <vector>

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::u16string& Name() const { return name_; }
  void SetName(std::u16string name) { name_ = std::move(name); }

 private:
  void Insert(TComponent* component) { owned_.push_back(component); }
  void Remove(TComponent* component);

  TComponent* owner_;
  std::u16string name_;
  std::vector<TComponent*> owned_;
};
