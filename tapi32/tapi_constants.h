// Telephony API 2.x constants: message IDs, result codes and the flag values the library and
// its providers use.
#pragma once

#include <cstdint>

inline constexpr uint32_t LINE_ADDRESSSTATE = 0;
inline constexpr uint32_t LINE_CALLINFO = 1;
inline constexpr uint32_t LINE_CALLSTATE = 2;
inline constexpr uint32_t LINE_CLOSE = 3;
inline constexpr uint32_t LINE_DEVSPECIFIC = 4;
inline constexpr uint32_t LINE_DEVSPECIFICFEATURE = 5;
inline constexpr uint32_t LINE_GATHERDIGITS = 6;
inline constexpr uint32_t LINE_GENERATE = 7;
inline constexpr uint32_t LINE_LINEDEVSTATE = 8;
inline constexpr uint32_t LINE_MONITORDIGITS = 9;
inline constexpr uint32_t LINE_MONITORMEDIA = 10;
inline constexpr uint32_t LINE_MONITORTONE = 11;
inline constexpr uint32_t LINE_REPLY = 12;
inline constexpr uint32_t LINE_REQUEST = 13;

inline constexpr uint32_t PHONE_BUTTON = 14;
inline constexpr uint32_t PHONE_CLOSE = 15;
inline constexpr uint32_t PHONE_DEVSPECIFIC = 16;
inline constexpr uint32_t PHONE_REPLY = 17;
inline constexpr uint32_t PHONE_STATE = 18;

inline constexpr uint32_t LINE_CREATE = 19;

inline constexpr uint32_t PHONE_CREATE = 20;

inline constexpr uint32_t LINE_AGENTSPECIFIC = 21;
inline constexpr uint32_t LINE_AGENTSTATUS = 22;
inline constexpr uint32_t LINE_APPNEWCALL = 23;
inline constexpr uint32_t LINE_PROXYREQUEST = 24;
inline constexpr uint32_t LINE_REMOVE = 25;

inline constexpr uint32_t PHONE_REMOVE = 26;

inline constexpr uint32_t LINE_AGENTSESSIONSTATUS = 27;
inline constexpr uint32_t LINE_QUEUESTATUS = 28;
inline constexpr uint32_t LINE_AGENTSTATUSEX = 29;
inline constexpr uint32_t LINE_GROUPSTATUS = 30;
inline constexpr uint32_t LINE_PROXYSTATUS = 31;
inline constexpr uint32_t LINE_APPNEWCALLHUB = 32;
inline constexpr uint32_t LINE_CALLHUBCLOSE = 33;
inline constexpr uint32_t LINE_DEVSPECIFICEX = 34;

inline constexpr uint32_t LINEADDRCAPFLAGS_FWDNUMRINGS = 0x1;
inline constexpr uint32_t LINEADDRCAPFLAGS_PICKUPGROUPID = 0x2;
inline constexpr uint32_t LINEADDRCAPFLAGS_SECURE = 0x4;
inline constexpr uint32_t LINEADDRCAPFLAGS_BLOCKIDDEFAULT = 0x8;
inline constexpr uint32_t LINEADDRCAPFLAGS_BLOCKIDOVERRIDE = 0x10;
inline constexpr uint32_t LINEADDRCAPFLAGS_DIALED = 0x20;
inline constexpr uint32_t LINEADDRCAPFLAGS_ORIGOFFHOOK = 0x40;
inline constexpr uint32_t LINEADDRCAPFLAGS_DESTOFFHOOK = 0x80;
inline constexpr uint32_t LINEADDRCAPFLAGS_FWDCONSULT = 0x100;
inline constexpr uint32_t LINEADDRCAPFLAGS_SETUPCONFNULL = 0x200;
inline constexpr uint32_t LINEADDRCAPFLAGS_AUTORECONNECT = 0x400;
inline constexpr uint32_t LINEADDRCAPFLAGS_COMPLETIONID = 0x800;
inline constexpr uint32_t LINEADDRCAPFLAGS_TRANSFERHELD = 0x1000;
inline constexpr uint32_t LINEADDRCAPFLAGS_TRANSFERMAKE = 0x2000;
inline constexpr uint32_t LINEADDRCAPFLAGS_CONFERENCEHELD = 0x4000;
inline constexpr uint32_t LINEADDRCAPFLAGS_CONFERENCEMAKE = 0x8000;
inline constexpr uint32_t LINEADDRCAPFLAGS_PARTIALDIAL = 0x10000;
inline constexpr uint32_t LINEADDRCAPFLAGS_FWDSTATUSVALID = 0x20000;
inline constexpr uint32_t LINEADDRCAPFLAGS_FWDINTEXTADDR = 0x40000;
inline constexpr uint32_t LINEADDRCAPFLAGS_FWDBUSYNAADDR = 0x80000;
inline constexpr uint32_t LINEADDRCAPFLAGS_ACCEPTTOALERT = 0x100000;
inline constexpr uint32_t LINEADDRCAPFLAGS_CONFDROP = 0x200000;
inline constexpr uint32_t LINEADDRCAPFLAGS_PICKUPCALLWAIT = 0x400000;
inline constexpr uint32_t LINEADDRCAPFLAGS_PREDICTIVEDIALER = 0x800000;
inline constexpr uint32_t LINEADDRCAPFLAGS_QUEUE = 0x1000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_ROUTEPOINT = 0x2000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_HOLDMAKESNEW = 0x4000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_NOINTERNALCALLS = 0x8000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_NOEXTERNALCALLS = 0x10000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_SETCALLINGID = 0x20000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_ACDGROUP = 0x40000000;
inline constexpr uint32_t LINEADDRCAPFLAGS_NOPSTNADDRESSTRANSLATION = 0x80000000;

inline constexpr uint32_t LINEADDRESSMODE_ADDRESSID = 0x1;
inline constexpr uint32_t LINEADDRESSMODE_DIALABLEADDR = 0x2;

inline constexpr uint32_t LINEADDRESSSHARING_PRIVATE = 0x1;
inline constexpr uint32_t LINEADDRESSSHARING_BRIDGEDEXCL = 0x2;
inline constexpr uint32_t LINEADDRESSSHARING_BRIDGEDNEW = 0x4;
inline constexpr uint32_t LINEADDRESSSHARING_BRIDGEDSHARED = 0x8;
inline constexpr uint32_t LINEADDRESSSHARING_MONITORED = 0x10;

inline constexpr uint32_t LINEADDRESSSTATE_OTHER = 0x1;
inline constexpr uint32_t LINEADDRESSSTATE_DEVSPECIFIC = 0x2;
inline constexpr uint32_t LINEADDRESSSTATE_INUSEZERO = 0x4;
inline constexpr uint32_t LINEADDRESSSTATE_INUSEONE = 0x8;
inline constexpr uint32_t LINEADDRESSSTATE_INUSEMANY = 0x10;
inline constexpr uint32_t LINEADDRESSSTATE_NUMCALLS = 0x20;
inline constexpr uint32_t LINEADDRESSSTATE_FORWARD = 0x40;
inline constexpr uint32_t LINEADDRESSSTATE_TERMINALS = 0x80;
inline constexpr uint32_t LINEADDRESSSTATE_CAPSCHANGE = 0x100;

inline constexpr uint32_t LINEADDRESSTYPE_PHONENUMBER = 0x1;
inline constexpr uint32_t LINEADDRESSTYPE_SDP = 0x2;
inline constexpr uint32_t LINEADDRESSTYPE_EMAILNAME = 0x4;
inline constexpr uint32_t LINEADDRESSTYPE_DOMAINNAME = 0x8;
inline constexpr uint32_t LINEADDRESSTYPE_IPADDRESS = 0x10;

inline constexpr uint32_t LINEADDRFEATURE_FORWARD = 0x1;
inline constexpr uint32_t LINEADDRFEATURE_MAKECALL = 0x2;
inline constexpr uint32_t LINEADDRFEATURE_PICKUP = 0x4;
inline constexpr uint32_t LINEADDRFEATURE_SETMEDIACONTROL = 0x8;
inline constexpr uint32_t LINEADDRFEATURE_SETTERMINAL = 0x10;
inline constexpr uint32_t LINEADDRFEATURE_SETUPCONF = 0x20;
inline constexpr uint32_t LINEADDRFEATURE_UNCOMPLETECALL = 0x40;
inline constexpr uint32_t LINEADDRFEATURE_UNPARK = 0x80;
inline constexpr uint32_t LINEADDRFEATURE_PICKUPHELD = 0x100;
inline constexpr uint32_t LINEADDRFEATURE_PICKUPGROUP = 0x200;
inline constexpr uint32_t LINEADDRFEATURE_PICKUPDIRECT = 0x400;
inline constexpr uint32_t LINEADDRFEATURE_PICKUPWAITING = 0x800;
inline constexpr uint32_t LINEADDRFEATURE_FORWARDFWD = 0x1000;
inline constexpr uint32_t LINEADDRFEATURE_FORWARDDND = 0x2000;

inline constexpr uint32_t LINEANSWERMODE_NONE = 0x1;
inline constexpr uint32_t LINEANSWERMODE_DROP = 0x2;
inline constexpr uint32_t LINEANSWERMODE_HOLD = 0x4;

inline constexpr uint32_t LINEBEARERMODE_VOICE = 0x1;
inline constexpr uint32_t LINEBEARERMODE_SPEECH = 0x2;
inline constexpr uint32_t LINEBEARERMODE_MULTIUSE = 0x4;
inline constexpr uint32_t LINEBEARERMODE_DATA = 0x8;
inline constexpr uint32_t LINEBEARERMODE_ALTSPEECHDATA = 0x10;
inline constexpr uint32_t LINEBEARERMODE_NONCALLSIGNALING = 0x20;
inline constexpr uint32_t LINEBEARERMODE_PASSTHROUGH = 0x40;
inline constexpr uint32_t LINEBEARERMODE_RESTRICTEDDATA = 0x80;

inline constexpr uint32_t LINEBUSYMODE_STATION = 0x1;
inline constexpr uint32_t LINEBUSYMODE_TRUNK = 0x2;
inline constexpr uint32_t LINEBUSYMODE_UNKNOWN = 0x4;
inline constexpr uint32_t LINEBUSYMODE_UNAVAIL = 0x8;

inline constexpr uint32_t LINECALLCOMPLCOND_BUSY = 0x1;
inline constexpr uint32_t LINECALLCOMPLCOND_NOANSWER = 0x2;

inline constexpr uint32_t LINECALLCOMPLMODE_CAMPON = 0x1;
inline constexpr uint32_t LINECALLCOMPLMODE_CALLBACK = 0x2;
inline constexpr uint32_t LINECALLCOMPLMODE_INTRUDE = 0x4;
inline constexpr uint32_t LINECALLCOMPLMODE_MESSAGE = 0x8;

inline constexpr uint32_t LINECALLFEATURE_ACCEPT = 0x1;
inline constexpr uint32_t LINECALLFEATURE_ADDTOCONF = 0x2;
inline constexpr uint32_t LINECALLFEATURE_ANSWER = 0x4;
inline constexpr uint32_t LINECALLFEATURE_BLINDTRANSFER = 0x8;
inline constexpr uint32_t LINECALLFEATURE_COMPLETECALL = 0x10;
inline constexpr uint32_t LINECALLFEATURE_COMPLETETRANSF = 0x20;
inline constexpr uint32_t LINECALLFEATURE_DIAL = 0x40;
inline constexpr uint32_t LINECALLFEATURE_DROP = 0x80;
inline constexpr uint32_t LINECALLFEATURE_GATHERDIGITS = 0x100;
inline constexpr uint32_t LINECALLFEATURE_GENERATEDIGITS = 0x200;
inline constexpr uint32_t LINECALLFEATURE_GENERATETONE = 0x400;
inline constexpr uint32_t LINECALLFEATURE_HOLD = 0x800;
inline constexpr uint32_t LINECALLFEATURE_MONITORDIGITS = 0x1000;
inline constexpr uint32_t LINECALLFEATURE_MONITORMEDIA = 0x2000;
inline constexpr uint32_t LINECALLFEATURE_MONITORTONES = 0x4000;
inline constexpr uint32_t LINECALLFEATURE_PARK = 0x8000;
inline constexpr uint32_t LINECALLFEATURE_PREPAREADDCONF = 0x10000;
inline constexpr uint32_t LINECALLFEATURE_REDIRECT = 0x20000;
inline constexpr uint32_t LINECALLFEATURE_REMOVEFROMCONF = 0x40000;
inline constexpr uint32_t LINECALLFEATURE_SECURECALL = 0x80000;
inline constexpr uint32_t LINECALLFEATURE_SENDUSERUSER = 0x100000;
inline constexpr uint32_t LINECALLFEATURE_SETCALLPARAMS = 0x200000;
inline constexpr uint32_t LINECALLFEATURE_SETMEDIACONTROL = 0x400000;
inline constexpr uint32_t LINECALLFEATURE_SETTERMINAL = 0x800000;
inline constexpr uint32_t LINECALLFEATURE_SETUPCONF = 0x1000000;
inline constexpr uint32_t LINECALLFEATURE_SETUPTRANSFER = 0x2000000;
inline constexpr uint32_t LINECALLFEATURE_SWAPHOLD = 0x4000000;
inline constexpr uint32_t LINECALLFEATURE_UNHOLD = 0x8000000;
inline constexpr uint32_t LINECALLFEATURE_RELEASEUSERUSERINFO = 0x10000000;
inline constexpr uint32_t LINECALLFEATURE_SETTREATMENT = 0x20000000;
inline constexpr uint32_t LINECALLFEATURE_SETQOS = 0x40000000;
inline constexpr uint32_t LINECALLFEATURE_SETCALLDATA = 0x80000000;

inline constexpr uint32_t LINECALLFEATURE2_NOHOLDCONFERENCE = 0x1;
inline constexpr uint32_t LINECALLFEATURE2_ONESTEPTRANSFER = 0x2;
inline constexpr uint32_t LINECALLFEATURE2_COMPLCAMPON = 0x4;
inline constexpr uint32_t LINECALLFEATURE2_COMPLCALLBACK = 0x8;
inline constexpr uint32_t LINECALLFEATURE2_COMPLINTRUDE = 0x10;
inline constexpr uint32_t LINECALLFEATURE2_COMPLMESSAGE = 0x20;
inline constexpr uint32_t LINECALLFEATURE2_TRANSFERNORM = 0x40;
inline constexpr uint32_t LINECALLFEATURE2_TRANSFERCONF = 0x80;
inline constexpr uint32_t LINECALLFEATURE2_PARKDIRECT = 0x100;
inline constexpr uint32_t LINECALLFEATURE2_PARKNONDIRECT = 0x200;

inline constexpr uint32_t LINECALLINFOSTATE_OTHER = 0x1;
inline constexpr uint32_t LINECALLINFOSTATE_DEVSPECIFIC = 0x2;
inline constexpr uint32_t LINECALLINFOSTATE_BEARERMODE = 0x4;
inline constexpr uint32_t LINECALLINFOSTATE_RATE = 0x8;
inline constexpr uint32_t LINECALLINFOSTATE_MEDIAMODE = 0x10;
inline constexpr uint32_t LINECALLINFOSTATE_APPSPECIFIC = 0x20;
inline constexpr uint32_t LINECALLINFOSTATE_CALLID = 0x40;
inline constexpr uint32_t LINECALLINFOSTATE_RELATEDCALLID = 0x80;
inline constexpr uint32_t LINECALLINFOSTATE_ORIGIN = 0x100;
inline constexpr uint32_t LINECALLINFOSTATE_REASON = 0x200;
inline constexpr uint32_t LINECALLINFOSTATE_COMPLETIONID = 0x400;
inline constexpr uint32_t LINECALLINFOSTATE_NUMOWNERINCR = 0x800;
inline constexpr uint32_t LINECALLINFOSTATE_NUMOWNERDECR = 0x1000;
inline constexpr uint32_t LINECALLINFOSTATE_NUMMONITORS = 0x2000;
inline constexpr uint32_t LINECALLINFOSTATE_TRUNK = 0x4000;
inline constexpr uint32_t LINECALLINFOSTATE_CALLERID = 0x8000;
inline constexpr uint32_t LINECALLINFOSTATE_CALLEDID = 0x10000;
inline constexpr uint32_t LINECALLINFOSTATE_CONNECTEDID = 0x20000;
inline constexpr uint32_t LINECALLINFOSTATE_REDIRECTIONID = 0x40000;
inline constexpr uint32_t LINECALLINFOSTATE_REDIRECTINGID = 0x80000;
inline constexpr uint32_t LINECALLINFOSTATE_DISPLAY = 0x100000;
inline constexpr uint32_t LINECALLINFOSTATE_USERUSERINFO = 0x200000;
inline constexpr uint32_t LINECALLINFOSTATE_HIGHLEVELCOMP = 0x400000;
inline constexpr uint32_t LINECALLINFOSTATE_LOWLEVELCOMP = 0x800000;
inline constexpr uint32_t LINECALLINFOSTATE_CHARGINGINFO = 0x1000000;
inline constexpr uint32_t LINECALLINFOSTATE_TERMINAL = 0x2000000;
inline constexpr uint32_t LINECALLINFOSTATE_DIALPARAMS = 0x4000000;
inline constexpr uint32_t LINECALLINFOSTATE_MONITORMODES = 0x8000000;
inline constexpr uint32_t LINECALLINFOSTATE_TREATMENT = 0x10000000;
inline constexpr uint32_t LINECALLINFOSTATE_QOS = 0x20000000;
inline constexpr uint32_t LINECALLINFOSTATE_CALLDATA = 0x40000000;

inline constexpr uint32_t LINECALLORIGIN_OUTBOUND = 0x1;
inline constexpr uint32_t LINECALLORIGIN_INTERNAL = 0x2;
inline constexpr uint32_t LINECALLORIGIN_EXTERNAL = 0x4;
inline constexpr uint32_t LINECALLORIGIN_UNKNOWN = 0x10;
inline constexpr uint32_t LINECALLORIGIN_UNAVAIL = 0x20;
inline constexpr uint32_t LINECALLORIGIN_CONFERENCE = 0x40;
inline constexpr uint32_t LINECALLORIGIN_INBOUND = 0x80;

inline constexpr uint32_t LINECALLPARAMFLAGS_SECURE = 0x1;
inline constexpr uint32_t LINECALLPARAMFLAGS_IDLE = 0x2;
inline constexpr uint32_t LINECALLPARAMFLAGS_BLOCKID = 0x4;
inline constexpr uint32_t LINECALLPARAMFLAGS_ORIGOFFHOOK = 0x8;
inline constexpr uint32_t LINECALLPARAMFLAGS_DESTOFFHOOK = 0x10;
inline constexpr uint32_t LINECALLPARAMFLAGS_NOHOLDCONFERENCE = 0x20;
inline constexpr uint32_t LINECALLPARAMFLAGS_PREDICTIVEDIAL = 0x40;
inline constexpr uint32_t LINECALLPARAMFLAGS_ONESTEPTRANSFER = 0x80;

inline constexpr uint32_t LINECALLPARTYID_BLOCKED = 0x1;
inline constexpr uint32_t LINECALLPARTYID_OUTOFAREA = 0x2;
inline constexpr uint32_t LINECALLPARTYID_NAME = 0x4;
inline constexpr uint32_t LINECALLPARTYID_ADDRESS = 0x8;
inline constexpr uint32_t LINECALLPARTYID_PARTIAL = 0x10;
inline constexpr uint32_t LINECALLPARTYID_UNKNOWN = 0x20;
inline constexpr uint32_t LINECALLPARTYID_UNAVAIL = 0x40;

inline constexpr uint32_t LINECALLPRIVILEGE_NONE = 0x1;
inline constexpr uint32_t LINECALLPRIVILEGE_MONITOR = 0x2;
inline constexpr uint32_t LINECALLPRIVILEGE_OWNER = 0x4;

inline constexpr uint32_t LINECALLREASON_DIRECT = 0x1;
inline constexpr uint32_t LINECALLREASON_FWDBUSY = 0x2;
inline constexpr uint32_t LINECALLREASON_FWDNOANSWER = 0x4;
inline constexpr uint32_t LINECALLREASON_FWDUNCOND = 0x8;
inline constexpr uint32_t LINECALLREASON_PICKUP = 0x10;
inline constexpr uint32_t LINECALLREASON_UNPARK = 0x20;
inline constexpr uint32_t LINECALLREASON_REDIRECT = 0x40;
inline constexpr uint32_t LINECALLREASON_CALLCOMPLETION = 0x80;
inline constexpr uint32_t LINECALLREASON_TRANSFER = 0x100;
inline constexpr uint32_t LINECALLREASON_REMINDER = 0x200;
inline constexpr uint32_t LINECALLREASON_UNKNOWN = 0x400;
inline constexpr uint32_t LINECALLREASON_UNAVAIL = 0x800;
inline constexpr uint32_t LINECALLREASON_INTRUDE = 0x1000;
inline constexpr uint32_t LINECALLREASON_PARKED = 0x2000;
inline constexpr uint32_t LINECALLREASON_CAMPEDON = 0x4000;
inline constexpr uint32_t LINECALLREASON_ROUTEREQUEST = 0x8000;

inline constexpr uint32_t LINECALLSELECT_LINE = 0x1;
inline constexpr uint32_t LINECALLSELECT_ADDRESS = 0x2;
inline constexpr uint32_t LINECALLSELECT_CALL = 0x4;
inline constexpr uint32_t LINECALLSELECT_DEVICEID = 0x8;
inline constexpr uint32_t LINECALLSELECT_CALLID = 0x10;

inline constexpr uint32_t LINECALLSTATE_IDLE = 0x1;
inline constexpr uint32_t LINECALLSTATE_OFFERING = 0x2;
inline constexpr uint32_t LINECALLSTATE_ACCEPTED = 0x4;
inline constexpr uint32_t LINECALLSTATE_DIALTONE = 0x8;
inline constexpr uint32_t LINECALLSTATE_DIALING = 0x10;
inline constexpr uint32_t LINECALLSTATE_RINGBACK = 0x20;
inline constexpr uint32_t LINECALLSTATE_BUSY = 0x40;
inline constexpr uint32_t LINECALLSTATE_SPECIALINFO = 0x80;
inline constexpr uint32_t LINECALLSTATE_CONNECTED = 0x100;
inline constexpr uint32_t LINECALLSTATE_PROCEEDING = 0x200;
inline constexpr uint32_t LINECALLSTATE_ONHOLD = 0x400;
inline constexpr uint32_t LINECALLSTATE_CONFERENCED = 0x800;
inline constexpr uint32_t LINECALLSTATE_ONHOLDPENDCONF = 0x1000;
inline constexpr uint32_t LINECALLSTATE_ONHOLDPENDTRANSFER = 0x2000;
inline constexpr uint32_t LINECALLSTATE_DISCONNECTED = 0x4000;
inline constexpr uint32_t LINECALLSTATE_UNKNOWN = 0x8000;

inline constexpr uint32_t LINECALLTREATMENT_SILENCE = 0x1;
inline constexpr uint32_t LINECALLTREATMENT_RINGBACK = 0x2;
inline constexpr uint32_t LINECALLTREATMENT_BUSY = 0x3;
inline constexpr uint32_t LINECALLTREATMENT_MUSIC = 0x4;

inline constexpr uint32_t LINECARDOPTION_PREDEFINED = 0x1;
inline constexpr uint32_t LINECARDOPTION_HIDDEN = 0x2;

inline constexpr uint32_t LINECONNECTEDMODE_ACTIVE = 0x1;
inline constexpr uint32_t LINECONNECTEDMODE_INACTIVE = 0x2;
inline constexpr uint32_t LINECONNECTEDMODE_ACTIVEHELD = 0x4;
inline constexpr uint32_t LINECONNECTEDMODE_INACTIVEHELD = 0x8;
inline constexpr uint32_t LINECONNECTEDMODE_CONFIRMED = 0x10;

inline constexpr uint32_t LINEDEVCAPFLAGS_CROSSADDRCONF = 0x1;
inline constexpr uint32_t LINEDEVCAPFLAGS_HIGHLEVCOMP = 0x2;
inline constexpr uint32_t LINEDEVCAPFLAGS_LOWLEVCOMP = 0x4;
inline constexpr uint32_t LINEDEVCAPFLAGS_MEDIACONTROL = 0x8;
inline constexpr uint32_t LINEDEVCAPFLAGS_MULTIPLEADDR = 0x10;
inline constexpr uint32_t LINEDEVCAPFLAGS_CLOSEDROP = 0x20;
inline constexpr uint32_t LINEDEVCAPFLAGS_DIALBILLING = 0x40;
inline constexpr uint32_t LINEDEVCAPFLAGS_DIALQUIET = 0x80;
inline constexpr uint32_t LINEDEVCAPFLAGS_DIALDIALTONE = 0x100;
inline constexpr uint32_t LINEDEVCAPFLAGS_MSP = 0x200;
inline constexpr uint32_t LINEDEVCAPFLAGS_CALLHUB = 0x400;
inline constexpr uint32_t LINEDEVCAPFLAGS_CALLHUBTRACKING = 0x800;
inline constexpr uint32_t LINEDEVCAPFLAGS_PRIVATEOBJECTS = 0x1000;
inline constexpr uint32_t LINEDEVCAPFLAGS_LOCAL = 0x2000;

inline constexpr uint32_t LINEDEVSTATE_OTHER = 0x1;
inline constexpr uint32_t LINEDEVSTATE_RINGING = 0x2;
inline constexpr uint32_t LINEDEVSTATE_CONNECTED = 0x4;
inline constexpr uint32_t LINEDEVSTATE_DISCONNECTED = 0x8;
inline constexpr uint32_t LINEDEVSTATE_MSGWAITON = 0x10;
inline constexpr uint32_t LINEDEVSTATE_MSGWAITOFF = 0x20;
inline constexpr uint32_t LINEDEVSTATE_INSERVICE = 0x40;
inline constexpr uint32_t LINEDEVSTATE_OUTOFSERVICE = 0x80;
inline constexpr uint32_t LINEDEVSTATE_MAINTENANCE = 0x100;
inline constexpr uint32_t LINEDEVSTATE_OPEN = 0x200;
inline constexpr uint32_t LINEDEVSTATE_CLOSE = 0x400;
inline constexpr uint32_t LINEDEVSTATE_NUMCALLS = 0x800;
inline constexpr uint32_t LINEDEVSTATE_NUMCOMPLETIONS = 0x1000;
inline constexpr uint32_t LINEDEVSTATE_TERMINALS = 0x2000;
inline constexpr uint32_t LINEDEVSTATE_ROAMMODE = 0x4000;
inline constexpr uint32_t LINEDEVSTATE_BATTERY = 0x8000;
inline constexpr uint32_t LINEDEVSTATE_SIGNAL = 0x10000;
inline constexpr uint32_t LINEDEVSTATE_DEVSPECIFIC = 0x20000;
inline constexpr uint32_t LINEDEVSTATE_REINIT = 0x40000;
inline constexpr uint32_t LINEDEVSTATE_LOCK = 0x80000;
inline constexpr uint32_t LINEDEVSTATE_CAPSCHANGE = 0x100000;
inline constexpr uint32_t LINEDEVSTATE_CONFIGCHANGE = 0x200000;
inline constexpr uint32_t LINEDEVSTATE_TRANSLATECHANGE = 0x400000;
inline constexpr uint32_t LINEDEVSTATE_COMPLCANCEL = 0x800000;
inline constexpr uint32_t LINEDEVSTATE_REMOVED = 0x1000000;

inline constexpr uint32_t LINEDEVSTATUSFLAGS_CONNECTED = 0x1;
inline constexpr uint32_t LINEDEVSTATUSFLAGS_MSGWAIT = 0x2;
inline constexpr uint32_t LINEDEVSTATUSFLAGS_INSERVICE = 0x4;
inline constexpr uint32_t LINEDEVSTATUSFLAGS_LOCKED = 0x8;

inline constexpr uint32_t LINEDIALTONEMODE_NORMAL = 0x1;
inline constexpr uint32_t LINEDIALTONEMODE_SPECIAL = 0x2;
inline constexpr uint32_t LINEDIALTONEMODE_INTERNAL = 0x4;
inline constexpr uint32_t LINEDIALTONEMODE_EXTERNAL = 0x8;
inline constexpr uint32_t LINEDIALTONEMODE_UNKNOWN = 0x10;
inline constexpr uint32_t LINEDIALTONEMODE_UNAVAIL = 0x20;

inline constexpr uint32_t LINEDIGITMODE_PULSE = 0x1;
inline constexpr uint32_t LINEDIGITMODE_DTMF = 0x2;
inline constexpr uint32_t LINEDIGITMODE_DTMFEND = 0x4;

inline constexpr uint32_t LINEDISCONNECTMODE_NORMAL = 0x1;
inline constexpr uint32_t LINEDISCONNECTMODE_UNKNOWN = 0x2;
inline constexpr uint32_t LINEDISCONNECTMODE_REJECT = 0x4;
inline constexpr uint32_t LINEDISCONNECTMODE_PICKUP = 0x8;
inline constexpr uint32_t LINEDISCONNECTMODE_FORWARDED = 0x10;
inline constexpr uint32_t LINEDISCONNECTMODE_BUSY = 0x20;
inline constexpr uint32_t LINEDISCONNECTMODE_NOANSWER = 0x40;
inline constexpr uint32_t LINEDISCONNECTMODE_BADADDRESS = 0x80;
inline constexpr uint32_t LINEDISCONNECTMODE_UNREACHABLE = 0x100;
inline constexpr uint32_t LINEDISCONNECTMODE_CONGESTION = 0x200;
inline constexpr uint32_t LINEDISCONNECTMODE_INCOMPATIBLE = 0x400;
inline constexpr uint32_t LINEDISCONNECTMODE_UNAVAIL = 0x800;
inline constexpr uint32_t LINEDISCONNECTMODE_NODIALTONE = 0x1000;
inline constexpr uint32_t LINEDISCONNECTMODE_NUMBERCHANGED = 0x2000;
inline constexpr uint32_t LINEDISCONNECTMODE_OUTOFORDER = 0x4000;
inline constexpr uint32_t LINEDISCONNECTMODE_TEMPFAILURE = 0x8000;
inline constexpr uint32_t LINEDISCONNECTMODE_QOSUNAVAIL = 0x10000;
inline constexpr uint32_t LINEDISCONNECTMODE_BLOCKED = 0x20000;
inline constexpr uint32_t LINEDISCONNECTMODE_DONOTDISTURB = 0x40000;
inline constexpr uint32_t LINEDISCONNECTMODE_CANCELLED = 0x80000;

inline constexpr uint32_t LINEERR_ALLOCATED = 0x80000001;
inline constexpr uint32_t LINEERR_BADDEVICEID = 0x80000002;
inline constexpr uint32_t LINEERR_BEARERMODEUNAVAIL = 0x80000003;
inline constexpr uint32_t LINEERR_CALLUNAVAIL = 0x80000005;
inline constexpr uint32_t LINEERR_COMPLETIONOVERRUN = 0x80000006;
inline constexpr uint32_t LINEERR_CONFERENCEFULL = 0x80000007;
inline constexpr uint32_t LINEERR_DIALBILLING = 0x80000008;
inline constexpr uint32_t LINEERR_DIALDIALTONE = 0x80000009;
inline constexpr uint32_t LINEERR_DIALPROMPT = 0x8000000A;
inline constexpr uint32_t LINEERR_DIALQUIET = 0x8000000B;
inline constexpr uint32_t LINEERR_INCOMPATIBLEAPIVERSION = 0x8000000C;
inline constexpr uint32_t LINEERR_INCOMPATIBLEEXTVERSION = 0x8000000D;
inline constexpr uint32_t LINEERR_INIFILECORRUPT = 0x8000000E;
inline constexpr uint32_t LINEERR_INUSE = 0x8000000F;
inline constexpr uint32_t LINEERR_INVALADDRESS = 0x80000010;
inline constexpr uint32_t LINEERR_INVALADDRESSID = 0x80000011;
inline constexpr uint32_t LINEERR_INVALADDRESSMODE = 0x80000012;
inline constexpr uint32_t LINEERR_INVALADDRESSSTATE = 0x80000013;
inline constexpr uint32_t LINEERR_INVALAPPHANDLE = 0x80000014;
inline constexpr uint32_t LINEERR_INVALAPPNAME = 0x80000015;
inline constexpr uint32_t LINEERR_INVALBEARERMODE = 0x80000016;
inline constexpr uint32_t LINEERR_INVALCALLCOMPLMODE = 0x80000017;
inline constexpr uint32_t LINEERR_INVALCALLHANDLE = 0x80000018;
inline constexpr uint32_t LINEERR_INVALCALLPARAMS = 0x80000019;
inline constexpr uint32_t LINEERR_INVALCALLPRIVILEGE = 0x8000001A;
inline constexpr uint32_t LINEERR_INVALCALLSELECT = 0x8000001B;
inline constexpr uint32_t LINEERR_INVALCALLSTATE = 0x8000001C;
inline constexpr uint32_t LINEERR_INVALCALLSTATELIST = 0x8000001D;
inline constexpr uint32_t LINEERR_INVALCARD = 0x8000001E;
inline constexpr uint32_t LINEERR_INVALCOMPLETIONID = 0x8000001F;
inline constexpr uint32_t LINEERR_INVALCONFCALLHANDLE = 0x80000020;
inline constexpr uint32_t LINEERR_INVALCONSULTCALLHANDLE = 0x80000021;
inline constexpr uint32_t LINEERR_INVALCOUNTRYCODE = 0x80000022;
inline constexpr uint32_t LINEERR_INVALDEVICECLASS = 0x80000023;
inline constexpr uint32_t LINEERR_INVALDEVICEHANDLE = 0x80000024;
inline constexpr uint32_t LINEERR_INVALDIALPARAMS = 0x80000025;
inline constexpr uint32_t LINEERR_INVALDIGITLIST = 0x80000026;
inline constexpr uint32_t LINEERR_INVALDIGITMODE = 0x80000027;
inline constexpr uint32_t LINEERR_INVALDIGITS = 0x80000028;
inline constexpr uint32_t LINEERR_INVALEXTVERSION = 0x80000029;
inline constexpr uint32_t LINEERR_INVALGROUPID = 0x8000002A;
inline constexpr uint32_t LINEERR_INVALLINEHANDLE = 0x8000002B;
inline constexpr uint32_t LINEERR_INVALLINESTATE = 0x8000002C;
inline constexpr uint32_t LINEERR_INVALLOCATION = 0x8000002D;
inline constexpr uint32_t LINEERR_INVALMEDIALIST = 0x8000002E;
inline constexpr uint32_t LINEERR_INVALMEDIAMODE = 0x8000002F;
inline constexpr uint32_t LINEERR_INVALMESSAGEID = 0x80000030;
inline constexpr uint32_t LINEERR_INVALPARAM = 0x80000032;
inline constexpr uint32_t LINEERR_INVALPARKID = 0x80000033;
inline constexpr uint32_t LINEERR_INVALPARKMODE = 0x80000034;
inline constexpr uint32_t LINEERR_INVALPOINTER = 0x80000035;
inline constexpr uint32_t LINEERR_INVALPRIVSELECT = 0x80000036;
inline constexpr uint32_t LINEERR_INVALRATE = 0x80000037;
inline constexpr uint32_t LINEERR_INVALREQUESTMODE = 0x80000038;
inline constexpr uint32_t LINEERR_INVALTERMINALID = 0x80000039;
inline constexpr uint32_t LINEERR_INVALTERMINALMODE = 0x8000003A;
inline constexpr uint32_t LINEERR_INVALTIMEOUT = 0x8000003B;
inline constexpr uint32_t LINEERR_INVALTONE = 0x8000003C;
inline constexpr uint32_t LINEERR_INVALTONELIST = 0x8000003D;
inline constexpr uint32_t LINEERR_INVALTONEMODE = 0x8000003E;
inline constexpr uint32_t LINEERR_INVALTRANSFERMODE = 0x8000003F;
inline constexpr uint32_t LINEERR_LINEMAPPERFAILED = 0x80000040;
inline constexpr uint32_t LINEERR_NOCONFERENCE = 0x80000041;
inline constexpr uint32_t LINEERR_NODEVICE = 0x80000042;
inline constexpr uint32_t LINEERR_NODRIVER = 0x80000043;
inline constexpr uint32_t LINEERR_NOMEM = 0x80000044;
inline constexpr uint32_t LINEERR_NOREQUEST = 0x80000045;
inline constexpr uint32_t LINEERR_NOTOWNER = 0x80000046;
inline constexpr uint32_t LINEERR_NOTREGISTERED = 0x80000047;
inline constexpr uint32_t LINEERR_OPERATIONFAILED = 0x80000048;
inline constexpr uint32_t LINEERR_OPERATIONUNAVAIL = 0x80000049;
inline constexpr uint32_t LINEERR_RATEUNAVAIL = 0x8000004A;
inline constexpr uint32_t LINEERR_RESOURCEUNAVAIL = 0x8000004B;
inline constexpr uint32_t LINEERR_REQUESTOVERRUN = 0x8000004C;
inline constexpr uint32_t LINEERR_STRUCTURETOOSMALL = 0x8000004D;
inline constexpr uint32_t LINEERR_TARGETNOTFOUND = 0x8000004E;
inline constexpr uint32_t LINEERR_TARGETSELF = 0x8000004F;
inline constexpr uint32_t LINEERR_UNINITIALIZED = 0x80000050;
inline constexpr uint32_t LINEERR_USERUSERINFOTOOBIG = 0x80000051;
inline constexpr uint32_t LINEERR_REINIT = 0x80000052;
inline constexpr uint32_t LINEERR_ADDRESSBLOCKED = 0x80000053;
inline constexpr uint32_t LINEERR_BILLINGREJECTED = 0x80000054;
inline constexpr uint32_t LINEERR_INVALFEATURE = 0x80000055;
inline constexpr uint32_t LINEERR_NOMULTIPLEINSTANCE = 0x80000056;
inline constexpr uint32_t LINEERR_INVALAGENTID = 0x80000057;
inline constexpr uint32_t LINEERR_INVALAGENTGROUP = 0x80000058;
inline constexpr uint32_t LINEERR_INVALPASSWORD = 0x80000059;
inline constexpr uint32_t LINEERR_INVALAGENTSTATE = 0x8000005A;
inline constexpr uint32_t LINEERR_INVALAGENTACTIVITY = 0x8000005B;
inline constexpr uint32_t LINEERR_DIALVOICEDETECT = 0x8000005C;
inline constexpr uint32_t LINEERR_USERCANCELLED = 0x8000005D;
inline constexpr uint32_t LINEERR_INVALADDRESSTYPE = 0x8000005E;
inline constexpr uint32_t LINEERR_INVALAGENTSESSIONSTATE = 0x8000005F;
inline constexpr uint32_t LINEERR_DISCONNECTED = 0x80000060;
inline constexpr uint32_t LINEERR_SERVICE_NOT_RUNNING = 0x80000061;

inline constexpr uint32_t LINEFEATURE_DEVSPECIFIC = 0x1;
inline constexpr uint32_t LINEFEATURE_DEVSPECIFICFEAT = 0x2;
inline constexpr uint32_t LINEFEATURE_FORWARD = 0x4;
inline constexpr uint32_t LINEFEATURE_MAKECALL = 0x8;
inline constexpr uint32_t LINEFEATURE_SETMEDIACONTROL = 0x10;
inline constexpr uint32_t LINEFEATURE_SETTERMINAL = 0x20;
inline constexpr uint32_t LINEFEATURE_SETDEVSTATUS = 0x40;
inline constexpr uint32_t LINEFEATURE_FORWARDFWD = 0x80;
inline constexpr uint32_t LINEFEATURE_FORWARDDND = 0x100;

inline constexpr uint32_t LINEFORWARDMODE_UNCOND = 0x1;
inline constexpr uint32_t LINEFORWARDMODE_UNCONDINTERNAL = 0x2;
inline constexpr uint32_t LINEFORWARDMODE_UNCONDEXTERNAL = 0x4;
inline constexpr uint32_t LINEFORWARDMODE_UNCONDSPECIFIC = 0x8;
inline constexpr uint32_t LINEFORWARDMODE_BUSY = 0x10;
inline constexpr uint32_t LINEFORWARDMODE_BUSYINTERNAL = 0x20;
inline constexpr uint32_t LINEFORWARDMODE_BUSYEXTERNAL = 0x40;
inline constexpr uint32_t LINEFORWARDMODE_BUSYSPECIFIC = 0x80;
inline constexpr uint32_t LINEFORWARDMODE_NOANSW = 0x100;
inline constexpr uint32_t LINEFORWARDMODE_NOANSWINTERNAL = 0x200;
inline constexpr uint32_t LINEFORWARDMODE_NOANSWEXTERNAL = 0x400;
inline constexpr uint32_t LINEFORWARDMODE_NOANSWSPECIFIC = 0x800;
inline constexpr uint32_t LINEFORWARDMODE_BUSYNA = 0x1000;
inline constexpr uint32_t LINEFORWARDMODE_BUSYNAINTERNAL = 0x2000;
inline constexpr uint32_t LINEFORWARDMODE_BUSYNAEXTERNAL = 0x4000;
inline constexpr uint32_t LINEFORWARDMODE_BUSYNASPECIFIC = 0x8000;
inline constexpr uint32_t LINEFORWARDMODE_UNKNOWN = 0x10000;
inline constexpr uint32_t LINEFORWARDMODE_UNAVAIL = 0x20000;

inline constexpr uint32_t LINEGATHERTERM_BUFFERFULL = 0x1;
inline constexpr uint32_t LINEGATHERTERM_TERMDIGIT = 0x2;
inline constexpr uint32_t LINEGATHERTERM_FIRSTTIMEOUT = 0x4;
inline constexpr uint32_t LINEGATHERTERM_INTERTIMEOUT = 0x8;
inline constexpr uint32_t LINEGATHERTERM_CANCEL = 0x10;

inline constexpr uint32_t LINEGENERATETERM_DONE = 0x1;
inline constexpr uint32_t LINEGENERATETERM_CANCEL = 0x2;

inline constexpr uint32_t LINEINITIALIZEEXOPTION_USEHIDDENWINDOW = 0x1;
inline constexpr uint32_t LINEINITIALIZEEXOPTION_USEEVENT = 0x2;
inline constexpr uint32_t LINEINITIALIZEEXOPTION_USECOMPLETIONPORT = 0x3;
inline constexpr uint32_t LINEINITIALIZEEXOPTION_CALLHUBTRACKING = 0x80000000;

inline constexpr uint32_t LINELOCATIONOPTION_PULSEDIAL = 0x1;

inline constexpr uint32_t LINEMEDIACONTROL_NONE = 0x1;
inline constexpr uint32_t LINEMEDIACONTROL_START = 0x2;
inline constexpr uint32_t LINEMEDIACONTROL_RESET = 0x4;
inline constexpr uint32_t LINEMEDIACONTROL_PAUSE = 0x8;
inline constexpr uint32_t LINEMEDIACONTROL_RESUME = 0x10;
inline constexpr uint32_t LINEMEDIACONTROL_RATEUP = 0x20;
inline constexpr uint32_t LINEMEDIACONTROL_RATEDOWN = 0x40;
inline constexpr uint32_t LINEMEDIACONTROL_RATENORMAL = 0x80;
inline constexpr uint32_t LINEMEDIACONTROL_VOLUMEUP = 0x100;
inline constexpr uint32_t LINEMEDIACONTROL_VOLUMEDOWN = 0x200;
inline constexpr uint32_t LINEMEDIACONTROL_VOLUMENORMAL = 0x400;

inline constexpr uint32_t LINEMEDIAMODE_UNKNOWN = 0x2;
inline constexpr uint32_t LINEMEDIAMODE_INTERACTIVEVOICE = 0x4;
inline constexpr uint32_t LINEMEDIAMODE_AUTOMATEDVOICE = 0x8;
inline constexpr uint32_t LINEMEDIAMODE_DATAMODEM = 0x10;
inline constexpr uint32_t LINEMEDIAMODE_G3FAX = 0x20;
inline constexpr uint32_t LINEMEDIAMODE_TDD = 0x40;
inline constexpr uint32_t LINEMEDIAMODE_G4FAX = 0x80;
inline constexpr uint32_t LINEMEDIAMODE_DIGITALDATA = 0x100;
inline constexpr uint32_t LINEMEDIAMODE_TELETEX = 0x200;
inline constexpr uint32_t LINEMEDIAMODE_VIDEOTEX = 0x400;
inline constexpr uint32_t LINEMEDIAMODE_TELEX = 0x800;
inline constexpr uint32_t LINEMEDIAMODE_MIXED = 0x1000;
inline constexpr uint32_t LINEMEDIAMODE_ADSI = 0x2000;
inline constexpr uint32_t LINEMEDIAMODE_VOICEVIEW = 0x4000;
inline constexpr uint32_t LINEMEDIAMODE_VIDEO = 0x8000;

inline constexpr uint32_t LINEOFFERINGMODE_ACTIVE = 0x1;
inline constexpr uint32_t LINEOFFERINGMODE_INACTIVE = 0x2;

inline constexpr uint32_t LINEOPENOPTION_SINGLEADDRESS = 0x80000000;
inline constexpr uint32_t LINEOPENOPTION_PROXY = 0x40000000;

inline constexpr uint32_t LINEPARKMODE_DIRECTED = 0x1;
inline constexpr uint32_t LINEPARKMODE_NONDIRECTED = 0x2;

inline constexpr uint32_t LINEPROXYREQUEST_SETAGENTGROUP = 0x1;
inline constexpr uint32_t LINEPROXYREQUEST_SETAGENTSTATE = 0x2;
inline constexpr uint32_t LINEPROXYREQUEST_SETAGENTACTIVITY = 0x3;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTCAPS = 0x4;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTSTATUS = 0x5;
inline constexpr uint32_t LINEPROXYREQUEST_AGENTSPECIFIC = 0x6;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTACTIVITYLIST = 0x7;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTGROUPLIST = 0x8;
inline constexpr uint32_t LINEPROXYREQUEST_CREATEAGENT = 0x9;
inline constexpr uint32_t LINEPROXYREQUEST_SETAGENTMEASUREMENTPERIOD = 0xA;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTINFO = 0xB;
inline constexpr uint32_t LINEPROXYREQUEST_CREATEAGENTSESSION = 0xC;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTSESSIONLIST = 0xD;
inline constexpr uint32_t LINEPROXYREQUEST_SETAGENTSESSIONSTATE = 0xE;
inline constexpr uint32_t LINEPROXYREQUEST_GETAGENTSESSIONINFO = 0xF;
inline constexpr uint32_t LINEPROXYREQUEST_GETQUEUELIST = 0x10;
inline constexpr uint32_t LINEPROXYREQUEST_SETQUEUEMEASUREMENTPERIOD = 0x11;
inline constexpr uint32_t LINEPROXYREQUEST_GETQUEUEINFO = 0x12;
inline constexpr uint32_t LINEPROXYREQUEST_GETGROUPLIST = 0x13;
inline constexpr uint32_t LINEPROXYREQUEST_SETAGENTSTATEEX = 0x14;

inline constexpr uint32_t LINEREMOVEFROMCONF_NONE = 0x1;
inline constexpr uint32_t LINEREMOVEFROMCONF_LAST = 0x2;
inline constexpr uint32_t LINEREMOVEFROMCONF_ANY = 0x3;

inline constexpr uint32_t LINEREQUESTMODE_MAKECALL = 0x1;
inline constexpr uint32_t LINEREQUESTMODE_MEDIACALL = 0x2;
inline constexpr uint32_t LINEREQUESTMODE_DROP = 0x4;

inline constexpr uint32_t LINEROAMMODE_UNKNOWN = 0x1;
inline constexpr uint32_t LINEROAMMODE_UNAVAIL = 0x2;
inline constexpr uint32_t LINEROAMMODE_HOME = 0x4;
inline constexpr uint32_t LINEROAMMODE_ROAMA = 0x8;
inline constexpr uint32_t LINEROAMMODE_ROAMB = 0x10;

inline constexpr uint32_t LINESPECIALINFO_NOCIRCUIT = 0x1;
inline constexpr uint32_t LINESPECIALINFO_CUSTIRREG = 0x2;
inline constexpr uint32_t LINESPECIALINFO_REORDER = 0x4;
inline constexpr uint32_t LINESPECIALINFO_UNKNOWN = 0x8;
inline constexpr uint32_t LINESPECIALINFO_UNAVAIL = 0x10;

inline constexpr uint32_t LINETERMDEV_PHONE = 0x1;
inline constexpr uint32_t LINETERMDEV_HEADSET = 0x2;
inline constexpr uint32_t LINETERMDEV_SPEAKER = 0x4;

inline constexpr uint32_t LINETERMMODE_BUTTONS = 0x1;
inline constexpr uint32_t LINETERMMODE_LAMPS = 0x2;
inline constexpr uint32_t LINETERMMODE_DISPLAY = 0x4;
inline constexpr uint32_t LINETERMMODE_RINGER = 0x8;
inline constexpr uint32_t LINETERMMODE_HOOKSWITCH = 0x10;
inline constexpr uint32_t LINETERMMODE_MEDIATOLINE = 0x20;
inline constexpr uint32_t LINETERMMODE_MEDIAFROMLINE = 0x40;
inline constexpr uint32_t LINETERMMODE_MEDIABIDIRECT = 0x80;

inline constexpr uint32_t LINETERMSHARING_PRIVATE = 0x1;
inline constexpr uint32_t LINETERMSHARING_SHAREDEXCL = 0x2;
inline constexpr uint32_t LINETERMSHARING_SHAREDCONF = 0x4;

inline constexpr uint32_t LINETONEMODE_CUSTOM = 0x1;
inline constexpr uint32_t LINETONEMODE_RINGBACK = 0x2;
inline constexpr uint32_t LINETONEMODE_BUSY = 0x4;
inline constexpr uint32_t LINETONEMODE_BEEP = 0x8;
inline constexpr uint32_t LINETONEMODE_BILLING = 0x10;

inline constexpr uint32_t LINETRANSFERMODE_TRANSFER = 0x1;
inline constexpr uint32_t LINETRANSFERMODE_CONFERENCE = 0x2;

inline constexpr uint32_t LINETRANSLATEOPTION_CARDOVERRIDE = 0x1;
inline constexpr uint32_t LINETRANSLATEOPTION_CANCELCALLWAITING = 0x2;
inline constexpr uint32_t LINETRANSLATEOPTION_FORCELOCAL = 0x4;
inline constexpr uint32_t LINETRANSLATEOPTION_FORCELD = 0x8;

inline constexpr uint32_t LINETRANSLATERESULT_CANONICAL = 0x1;
inline constexpr uint32_t LINETRANSLATERESULT_INTERNATIONAL = 0x2;
inline constexpr uint32_t LINETRANSLATERESULT_LONGDISTANCE = 0x4;
inline constexpr uint32_t LINETRANSLATERESULT_LOCAL = 0x8;
inline constexpr uint32_t LINETRANSLATERESULT_INTOLLLIST = 0x10;
inline constexpr uint32_t LINETRANSLATERESULT_NOTINTOLLLIST = 0x20;
inline constexpr uint32_t LINETRANSLATERESULT_DIALBILLING = 0x40;
inline constexpr uint32_t LINETRANSLATERESULT_DIALQUIET = 0x80;
inline constexpr uint32_t LINETRANSLATERESULT_DIALDIALTONE = 0x100;
inline constexpr uint32_t LINETRANSLATERESULT_DIALPROMPT = 0x200;
inline constexpr uint32_t LINETRANSLATERESULT_VOICEDETECT = 0x400;
inline constexpr uint32_t LINETRANSLATERESULT_NOTRANSLATION = 0x800;

inline constexpr uint32_t PHONEBUTTONFUNCTION_UNKNOWN = 0x0;
inline constexpr uint32_t PHONEBUTTONFUNCTION_CONFERENCE = 0x1;
inline constexpr uint32_t PHONEBUTTONFUNCTION_TRANSFER = 0x2;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DROP = 0x3;
inline constexpr uint32_t PHONEBUTTONFUNCTION_HOLD = 0x4;
inline constexpr uint32_t PHONEBUTTONFUNCTION_RECALL = 0x5;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DISCONNECT = 0x6;
inline constexpr uint32_t PHONEBUTTONFUNCTION_CONNECT = 0x7;
inline constexpr uint32_t PHONEBUTTONFUNCTION_MSGWAITON = 0x8;
inline constexpr uint32_t PHONEBUTTONFUNCTION_MSGWAITOFF = 0x9;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SELECTRING = 0xA;
inline constexpr uint32_t PHONEBUTTONFUNCTION_ABBREVDIAL = 0xB;
inline constexpr uint32_t PHONEBUTTONFUNCTION_FORWARD = 0xC;
inline constexpr uint32_t PHONEBUTTONFUNCTION_PICKUP = 0xD;
inline constexpr uint32_t PHONEBUTTONFUNCTION_RINGAGAIN = 0xE;
inline constexpr uint32_t PHONEBUTTONFUNCTION_PARK = 0xF;
inline constexpr uint32_t PHONEBUTTONFUNCTION_REJECT = 0x10;
inline constexpr uint32_t PHONEBUTTONFUNCTION_REDIRECT = 0x11;
inline constexpr uint32_t PHONEBUTTONFUNCTION_MUTE = 0x12;
inline constexpr uint32_t PHONEBUTTONFUNCTION_VOLUMEUP = 0x13;
inline constexpr uint32_t PHONEBUTTONFUNCTION_VOLUMEDOWN = 0x14;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SPEAKERON = 0x15;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SPEAKEROFF = 0x16;
inline constexpr uint32_t PHONEBUTTONFUNCTION_FLASH = 0x17;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DATAON = 0x18;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DATAOFF = 0x19;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DONOTDISTURB = 0x1A;
inline constexpr uint32_t PHONEBUTTONFUNCTION_INTERCOM = 0x1B;
inline constexpr uint32_t PHONEBUTTONFUNCTION_BRIDGEDAPP = 0x1C;
inline constexpr uint32_t PHONEBUTTONFUNCTION_BUSY = 0x1D;
inline constexpr uint32_t PHONEBUTTONFUNCTION_CALLAPP = 0x1E;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DATETIME = 0x1F;
inline constexpr uint32_t PHONEBUTTONFUNCTION_DIRECTORY = 0x20;
inline constexpr uint32_t PHONEBUTTONFUNCTION_COVER = 0x21;
inline constexpr uint32_t PHONEBUTTONFUNCTION_CALLID = 0x22;
inline constexpr uint32_t PHONEBUTTONFUNCTION_LASTNUM = 0x23;
inline constexpr uint32_t PHONEBUTTONFUNCTION_NIGHTSRV = 0x24;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SENDCALLS = 0x25;
inline constexpr uint32_t PHONEBUTTONFUNCTION_MSGINDICATOR = 0x26;
inline constexpr uint32_t PHONEBUTTONFUNCTION_REPDIAL = 0x27;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SETREPDIAL = 0x28;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SYSTEMSPEED = 0x29;
inline constexpr uint32_t PHONEBUTTONFUNCTION_STATIONSPEED = 0x2A;
inline constexpr uint32_t PHONEBUTTONFUNCTION_CAMPON = 0x2B;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SAVEREPEAT = 0x2C;
inline constexpr uint32_t PHONEBUTTONFUNCTION_QUEUECALL = 0x2D;
inline constexpr uint32_t PHONEBUTTONFUNCTION_NONE = 0x2E;
inline constexpr uint32_t PHONEBUTTONFUNCTION_SEND = 0x2F;

inline constexpr uint32_t PHONEBUTTONMODE_DUMMY = 0x1;
inline constexpr uint32_t PHONEBUTTONMODE_CALL = 0x2;
inline constexpr uint32_t PHONEBUTTONMODE_FEATURE = 0x4;
inline constexpr uint32_t PHONEBUTTONMODE_KEYPAD = 0x8;
inline constexpr uint32_t PHONEBUTTONMODE_LOCAL = 0x10;
inline constexpr uint32_t PHONEBUTTONMODE_DISPLAY = 0x20;

inline constexpr uint32_t PHONEBUTTONSTATE_UP = 0x1;
inline constexpr uint32_t PHONEBUTTONSTATE_DOWN = 0x2;
inline constexpr uint32_t PHONEBUTTONSTATE_UNKNOWN = 0x4;
inline constexpr uint32_t PHONEBUTTONSTATE_UNAVAIL = 0x8;

inline constexpr uint32_t PHONEERR_ALLOCATED = 0x90000001;
inline constexpr uint32_t PHONEERR_BADDEVICEID = 0x90000002;
inline constexpr uint32_t PHONEERR_INCOMPATIBLEAPIVERSION = 0x90000003;
inline constexpr uint32_t PHONEERR_INCOMPATIBLEEXTVERSION = 0x90000004;
inline constexpr uint32_t PHONEERR_INIFILECORRUPT = 0x90000005;
inline constexpr uint32_t PHONEERR_INUSE = 0x90000006;
inline constexpr uint32_t PHONEERR_INVALAPPHANDLE = 0x90000007;
inline constexpr uint32_t PHONEERR_INVALAPPNAME = 0x90000008;
inline constexpr uint32_t PHONEERR_INVALBUTTONLAMPID = 0x90000009;
inline constexpr uint32_t PHONEERR_INVALBUTTONMODE = 0x9000000A;
inline constexpr uint32_t PHONEERR_INVALBUTTONSTATE = 0x9000000B;
inline constexpr uint32_t PHONEERR_INVALDATAID = 0x9000000C;
inline constexpr uint32_t PHONEERR_INVALDEVICECLASS = 0x9000000D;
inline constexpr uint32_t PHONEERR_INVALEXTVERSION = 0x9000000E;
inline constexpr uint32_t PHONEERR_INVALHOOKSWITCHDEV = 0x9000000F;
inline constexpr uint32_t PHONEERR_INVALHOOKSWITCHMODE = 0x90000010;
inline constexpr uint32_t PHONEERR_INVALLAMPMODE = 0x90000011;
inline constexpr uint32_t PHONEERR_INVALPARAM = 0x90000012;
inline constexpr uint32_t PHONEERR_INVALPHONEHANDLE = 0x90000013;
inline constexpr uint32_t PHONEERR_INVALPHONESTATE = 0x90000014;
inline constexpr uint32_t PHONEERR_INVALPOINTER = 0x90000015;
inline constexpr uint32_t PHONEERR_INVALPRIVILEGE = 0x90000016;
inline constexpr uint32_t PHONEERR_INVALRINGMODE = 0x90000017;
inline constexpr uint32_t PHONEERR_NODEVICE = 0x90000018;
inline constexpr uint32_t PHONEERR_NODRIVER = 0x90000019;
inline constexpr uint32_t PHONEERR_NOMEM = 0x9000001A;
inline constexpr uint32_t PHONEERR_NOTOWNER = 0x9000001B;
inline constexpr uint32_t PHONEERR_OPERATIONFAILED = 0x9000001C;
inline constexpr uint32_t PHONEERR_OPERATIONUNAVAIL = 0x9000001D;
inline constexpr uint32_t PHONEERR_RESOURCEUNAVAIL = 0x9000001F;
inline constexpr uint32_t PHONEERR_REQUESTOVERRUN = 0x90000020;
inline constexpr uint32_t PHONEERR_STRUCTURETOOSMALL = 0x90000021;
inline constexpr uint32_t PHONEERR_UNINITIALIZED = 0x90000022;
inline constexpr uint32_t PHONEERR_REINIT = 0x90000023;
inline constexpr uint32_t PHONEERR_DISCONNECTED = 0x90000024;
inline constexpr uint32_t PHONEERR_SERVICE_NOT_RUNNING = 0x90000025;

inline constexpr uint32_t PHONEFEATURE_GETBUTTONINFO = 0x1;
inline constexpr uint32_t PHONEFEATURE_GETDATA = 0x2;
inline constexpr uint32_t PHONEFEATURE_GETDISPLAY = 0x4;
inline constexpr uint32_t PHONEFEATURE_GETGAINHANDSET = 0x8;
inline constexpr uint32_t PHONEFEATURE_GETGAINSPEAKER = 0x10;
inline constexpr uint32_t PHONEFEATURE_GETGAINHEADSET = 0x20;
inline constexpr uint32_t PHONEFEATURE_GETHOOKSWITCHHANDSET = 0x40;
inline constexpr uint32_t PHONEFEATURE_GETHOOKSWITCHSPEAKER = 0x80;
inline constexpr uint32_t PHONEFEATURE_GETHOOKSWITCHHEADSET = 0x100;
inline constexpr uint32_t PHONEFEATURE_GETLAMP = 0x200;
inline constexpr uint32_t PHONEFEATURE_GETRING = 0x400;
inline constexpr uint32_t PHONEFEATURE_GETVOLUMEHANDSET = 0x800;
inline constexpr uint32_t PHONEFEATURE_GETVOLUMESPEAKER = 0x1000;
inline constexpr uint32_t PHONEFEATURE_GETVOLUMEHEADSET = 0x2000;
inline constexpr uint32_t PHONEFEATURE_SETBUTTONINFO = 0x4000;
inline constexpr uint32_t PHONEFEATURE_SETDATA = 0x8000;
inline constexpr uint32_t PHONEFEATURE_SETDISPLAY = 0x10000;
inline constexpr uint32_t PHONEFEATURE_SETGAINHANDSET = 0x20000;
inline constexpr uint32_t PHONEFEATURE_SETGAINSPEAKER = 0x40000;
inline constexpr uint32_t PHONEFEATURE_SETGAINHEADSET = 0x80000;
inline constexpr uint32_t PHONEFEATURE_SETHOOKSWITCHHANDSET = 0x100000;
inline constexpr uint32_t PHONEFEATURE_SETHOOKSWITCHSPEAKER = 0x200000;
inline constexpr uint32_t PHONEFEATURE_SETHOOKSWITCHHEADSET = 0x400000;
inline constexpr uint32_t PHONEFEATURE_SETLAMP = 0x800000;
inline constexpr uint32_t PHONEFEATURE_SETRING = 0x1000000;
inline constexpr uint32_t PHONEFEATURE_SETVOLUMEHANDSET = 0x2000000;
inline constexpr uint32_t PHONEFEATURE_SETVOLUMESPEAKER = 0x4000000;
inline constexpr uint32_t PHONEFEATURE_SETVOLUMEHEADSET = 0x8000000;
inline constexpr uint32_t PHONEFEATURE_GENERICPHONE = 0x10000000;

inline constexpr uint32_t PHONEHOOKSWITCHDEV_HANDSET = 0x1;
inline constexpr uint32_t PHONEHOOKSWITCHDEV_SPEAKER = 0x2;
inline constexpr uint32_t PHONEHOOKSWITCHDEV_HEADSET = 0x4;

inline constexpr uint32_t PHONEHOOKSWITCHMODE_ONHOOK = 0x1;
inline constexpr uint32_t PHONEHOOKSWITCHMODE_MIC = 0x2;
inline constexpr uint32_t PHONEHOOKSWITCHMODE_SPEAKER = 0x4;
inline constexpr uint32_t PHONEHOOKSWITCHMODE_MICSPEAKER = 0x8;
inline constexpr uint32_t PHONEHOOKSWITCHMODE_UNKNOWN = 0x10;

inline constexpr uint32_t PHONEINITIALIZEEXOPTION_USEHIDDENWINDOW = 0x1;
inline constexpr uint32_t PHONEINITIALIZEEXOPTION_USEEVENT = 0x2;
inline constexpr uint32_t PHONEINITIALIZEEXOPTION_USECOMPLETIONPORT = 0x3;

inline constexpr uint32_t PHONELAMPMODE_DUMMY = 0x1;
inline constexpr uint32_t PHONELAMPMODE_OFF = 0x2;
inline constexpr uint32_t PHONELAMPMODE_STEADY = 0x4;
inline constexpr uint32_t PHONELAMPMODE_WINK = 0x8;
inline constexpr uint32_t PHONELAMPMODE_FLASH = 0x10;
inline constexpr uint32_t PHONELAMPMODE_FLUTTER = 0x20;
inline constexpr uint32_t PHONELAMPMODE_BROKENFLUTTER = 0x40;
inline constexpr uint32_t PHONELAMPMODE_UNKNOWN = 0x80;

inline constexpr uint32_t PHONEPRIVILEGE_MONITOR = 0x1;
inline constexpr uint32_t PHONEPRIVILEGE_OWNER = 0x2;

inline constexpr uint32_t PHONESTATE_OTHER = 0x1;
inline constexpr uint32_t PHONESTATE_CONNECTED = 0x2;
inline constexpr uint32_t PHONESTATE_DISCONNECTED = 0x4;
inline constexpr uint32_t PHONESTATE_OWNER = 0x8;
inline constexpr uint32_t PHONESTATE_MONITORS = 0x10;
inline constexpr uint32_t PHONESTATE_DISPLAY = 0x20;
inline constexpr uint32_t PHONESTATE_LAMP = 0x40;
inline constexpr uint32_t PHONESTATE_RINGMODE = 0x80;
inline constexpr uint32_t PHONESTATE_RINGVOLUME = 0x100;
inline constexpr uint32_t PHONESTATE_HANDSETHOOKSWITCH = 0x200;
inline constexpr uint32_t PHONESTATE_HANDSETVOLUME = 0x400;
inline constexpr uint32_t PHONESTATE_HANDSETGAIN = 0x800;
inline constexpr uint32_t PHONESTATE_SPEAKERHOOKSWITCH = 0x1000;
inline constexpr uint32_t PHONESTATE_SPEAKERVOLUME = 0x2000;
inline constexpr uint32_t PHONESTATE_SPEAKERGAIN = 0x4000;
inline constexpr uint32_t PHONESTATE_HEADSETHOOKSWITCH = 0x8000;
inline constexpr uint32_t PHONESTATE_HEADSETVOLUME = 0x10000;
inline constexpr uint32_t PHONESTATE_HEADSETGAIN = 0x20000;
inline constexpr uint32_t PHONESTATE_SUSPEND = 0x40000;
inline constexpr uint32_t PHONESTATE_RESUME = 0x80000;
inline constexpr uint32_t PHONESTATE_DEVSPECIFIC = 0x100000;
inline constexpr uint32_t PHONESTATE_REINIT = 0x200000;
inline constexpr uint32_t PHONESTATE_CAPSCHANGE = 0x400000;
inline constexpr uint32_t PHONESTATE_REMOVED = 0x800000;

inline constexpr uint32_t PHONESTATUSFLAGS_CONNECTED = 0x1;
inline constexpr uint32_t PHONESTATUSFLAGS_SUSPENDED = 0x2;

inline constexpr uint32_t STRINGFORMAT_ASCII = 0x1;
inline constexpr uint32_t STRINGFORMAT_DBCS = 0x2;
inline constexpr uint32_t STRINGFORMAT_UNICODE = 0x3;
inline constexpr uint32_t STRINGFORMAT_BINARY = 0x4;

inline constexpr uint32_t TAPIERR_CONNECTED = 0x0;
inline constexpr uint32_t TAPIERR_DROPPED = 0xFFFFFFFF;
inline constexpr uint32_t TAPIERR_NOREQUESTRECIPIENT = 0xFFFFFFFE;
inline constexpr uint32_t TAPIERR_REQUESTQUEUEFULL = 0xFFFFFFFD;
inline constexpr uint32_t TAPIERR_INVALDESTADDRESS = 0xFFFFFFFC;
inline constexpr uint32_t TAPIERR_INVALWINDOWHANDLE = 0xFFFFFFFB;
inline constexpr uint32_t TAPIERR_INVALDEVICECLASS = 0xFFFFFFFA;
inline constexpr uint32_t TAPIERR_INVALDEVICEID = 0xFFFFFFF9;
inline constexpr uint32_t TAPIERR_DEVICECLASSUNAVAIL = 0xFFFFFFF8;
inline constexpr uint32_t TAPIERR_DEVICEIDUNAVAIL = 0xFFFFFFF7;
inline constexpr uint32_t TAPIERR_DEVICEINUSE = 0xFFFFFFF6;
inline constexpr uint32_t TAPIERR_DESTBUSY = 0xFFFFFFF5;
inline constexpr uint32_t TAPIERR_DESTNOANSWER = 0xFFFFFFF4;
inline constexpr uint32_t TAPIERR_DESTUNAVAIL = 0xFFFFFFF3;
inline constexpr uint32_t TAPIERR_UNKNOWNWINHANDLE = 0xFFFFFFF2;
inline constexpr uint32_t TAPIERR_UNKNOWNREQUESTID = 0xFFFFFFF1;
inline constexpr uint32_t TAPIERR_REQUESTFAILED = 0xFFFFFFF0;
inline constexpr uint32_t TAPIERR_REQUESTCANCELLED = 0xFFFFFFEF;
inline constexpr uint32_t TAPIERR_INVALPOINTER = 0xFFFFFFEE;
inline constexpr uint32_t TAPIERR_NOTADMIN = 0xFFFFFFED;
inline constexpr uint32_t TAPIERR_MMCWRITELOCKED = 0xFFFFFFEC;
inline constexpr uint32_t TAPIERR_PROVIDERALREADYINSTALLED = 0xFFFFFFEB;
inline constexpr uint32_t TAPIERR_SCP_ALREADY_EXISTS = 0xFFFFFFEA;
inline constexpr uint32_t TAPIERR_SCP_DOES_NOT_EXIST = 0xFFFFFFE9;

namespace tapi32 {

// A LINEERR_ or PHONEERR_ code as the LONG an entry point returns.
constexpr int32_t Err(uint32_t code) {
  return static_cast<int32_t>(code);
}

}  // namespace tapi32
