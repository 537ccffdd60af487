// ‹Gß‚Ì‚ ‚¢‚³‚Â
function greeting() { return "‚æ‚¤‚±‚»"; }
