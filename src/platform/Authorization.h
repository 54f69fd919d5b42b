#pragma once

// Authorization Services as the install job uses them. On macOS the real
// framework; elsewhere our own declarations of the same calls, answered by
// the simulated host.

#if defined(__APPLE__)
    #include <Security/Authorization.h>
#else
    #include <cstdint>
    #include <cstdio>

using OSStatus = std::int32_t;
using UInt32 = std::uint32_t;
using AuthorizationFlags = UInt32;
using AuthorizationString = const char*;

struct AuthorizationOpaqueRef;
using AuthorizationRef = AuthorizationOpaqueRef*;

struct AuthorizationItem
{
    AuthorizationString name;
    size_t valueLength;
    void* value;
    UInt32 flags;
};

struct AuthorizationItemSet
{
    UInt32 count;
    AuthorizationItem* items;
};

using AuthorizationRights = AuthorizationItemSet;
using AuthorizationEnvironment = AuthorizationItemSet;

enum : AuthorizationFlags
{
    kAuthorizationFlagDefaults = 0,
    kAuthorizationFlagInteractionAllowed = (1u << 0),
    kAuthorizationFlagExtendRights = (1u << 1),
    kAuthorizationFlagPartialRights = (1u << 2),
    kAuthorizationFlagDestroyRights = (1u << 3),
    kAuthorizationFlagPreAuthorize = (1u << 4)
};

enum : OSStatus
{
    errAuthorizationSuccess = 0,
    errAuthorizationInvalidSet = -60001,
    errAuthorizationInvalidRef = -60002,
    errAuthorizationDenied = -60005,
    errAuthorizationCanceled = -60006,
    errAuthorizationInternal = -60008,
    errAuthorizationInvalidFlags = -60011,
    errAuthorizationToolExecuteFailure = -60031,
    errAuthorizationToolEnvironmentError = -60032
};

OSStatus AuthorizationCreate (const AuthorizationRights* rights,
                              const AuthorizationEnvironment* environment,
                              AuthorizationFlags flags,
                              AuthorizationRef* authorization);

OSStatus AuthorizationFree (AuthorizationRef authorization, AuthorizationFlags flags);

OSStatus AuthorizationCopyRights (AuthorizationRef authorization,
                                  const AuthorizationRights* rights,
                                  const AuthorizationEnvironment* environment,
                                  AuthorizationFlags flags,
                                  AuthorizationRights** authorizedRights);

OSStatus AuthorizationExecuteWithPrivileges (AuthorizationRef authorization,
                                             const char* pathToTool,
                                             AuthorizationFlags options,
                                             char* const* arguments,
                                             FILE** communicationsPipe);
#endif
