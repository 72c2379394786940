#include "platform/app/BHandler.h"

void BHandler::MessageReceived(BMessage*) {}
