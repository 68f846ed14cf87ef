#pragma once

#include "checkout/stepcatalogue.h"

// The steps of the checkout, each its declaration with its body; the catalogue lists them in
// the order they run. A file holds one step or a few that share their reader commands.
namespace CheckoutSteps {

StepDeclaration identify();      // identifystep.cpp
StepDeclaration status();        // slotsteps.cpp
StepDeclaration selectSlot();    // slotsteps.cpp
StepDeclaration clocks();        // clocksteps.cpp
StepDeclaration tarvik();        // tarvikstep.cpp
StepDeclaration time();          // timesteps.cpp
StepDeclaration echo();          // linksteps.cpp
StepDeclaration lines();         // linksteps.cpp
StepDeclaration display();       // operatorsteps.cpp
StepDeclaration cards();         // operatorsteps.cpp
StepDeclaration programClocks(); // clocksteps.cpp
StepDeclaration programTime();   // timesteps.cpp

} // namespace CheckoutSteps
