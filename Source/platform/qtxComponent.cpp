#include "platform/qtxComponent.h"

namespace qtx {

TComponent::TComponent(TComponent* aOwner) : FOwner(aOwner) {}

TComponent::~TComponent() {
  Destroying();
  // Each watcher may unsubscribe itself (and us from it) while being told.
  while (!FFreeNotifies.empty()) {
    TComponent* watcher = *FFreeNotifies.begin();
    FFreeNotifies.erase(FFreeNotifies.begin());
    watcher->FFreeNotifies.erase(this);
    watcher->Notification(this, TOperation::opRemove);
  }
}

void TComponent::FreeNotification(TComponent* aComponent) {
  if (aComponent == nullptr || aComponent == this) return;
  FFreeNotifies.insert(aComponent);
  aComponent->FFreeNotifies.insert(this);
}

void TComponent::RemoveFreeNotification(TComponent* aComponent) {
  if (aComponent == nullptr) return;
  FFreeNotifies.erase(aComponent);
  aComponent->FFreeNotifies.erase(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

}  // namespace qtx
