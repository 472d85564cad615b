// The common ancestor of windows, actions and components: what an event handler receives as
// its sender. Handlers shared by several senders read the sender's integer tag.
#pragma once

class TComponent {
 public:
  TComponent() = default;
  explicit TComponent(int tag) : Tag(tag) {}
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent() = default;

  int Tag = 0;
};
